#include "indicators/freezing.h"

#include "indicators/registry.h"

#include <cmath>

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

int64_t freezingFramesBefore(double fps, int64_t, int64_t) {
    const double frames = std::ceil(fps * kFrozenSeconds);
    // At a rate that never freezes, or freezes at once, no earlier frame matters but the previous one.
    if (!(frames > 1)) return 1;
    return frames > 1e9 ? int64_t{1000000000} : static_cast<int64_t>(frames);
}

namespace {

class FreezingIndicator final : public TemporalIndicator {
public:
    explicit FreezingIndicator(double fps)
        : fps_(fps), activity_(*findIndicator("temporal_activity")), blackout_(*findIndicator("blackout")) {}
    void pair(unsigned, const Image&, const Image&) override {}
    std::optional<double> ordered(unsigned, int64_t, const Results& frame) override {
        const uint8_t black = frame.has(blackout_) ? static_cast<uint8_t>(frame[blackout_]) : 0;
        return freezing(state_, black, frame[activity_], fps_);
    }

private:
    FreezingState state_;
    double fps_;
    int activity_;
    int blackout_;
};

}  // namespace

std::unique_ptr<TemporalIndicator> makeFreezing(const TemporalGeometry& geometry) {
    return std::make_unique<FreezingIndicator>(geometry.fps);
}

int64_t freezingStillFrames(double fps) { return freezingFramesBefore(fps, 0, 0); }
