#include "indicators/brng.h"

std::optional<double> outOfBroadcastRange(const Image&, const Picture& picture, SharedPasses& shared) {
    if (picture.planeCount == 0) return std::nullopt;
    return shared.levels(true).stats.values[BRNG];
}
