#include "indicators/freezing.h"

namespace {

// Temporal activity up to which a frame counts as still.
constexpr double kStillActivity = 1.0;
// A run of still frames of this many seconds freezes the picture.
constexpr double kFrozenSeconds = 0.1;

}  // namespace

uint8_t freezing(FreezingState& state, uint8_t blackout, double temporalActivity, double fps) {
    // A not-a-number activity fails the comparison and ends the run too.
    if (temporalActivity <= kStillActivity && blackout == 0)
        ++state.freezingTemp;
    else
        state.freezingTemp = 0;
    return static_cast<double>(state.freezingTemp) >= fps * kFrozenSeconds ? 1 : 0;
}
