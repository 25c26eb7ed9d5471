#include "indicators/r103.h"

std::optional<double> r103Luma(const Image&, const Picture& picture, SharedPasses& shared) {
    if (picture.planeCount == 0) return std::nullopt;
    return shared.levels().r103Luma;
}

std::optional<double> r103Rgb(const Image&, const Picture& picture, SharedPasses& shared) {
    if (picture.planeCount == 0) return std::nullopt;
    return shared.levels().r103Rgb;
}
