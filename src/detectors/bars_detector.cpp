#include "detectors/bars_detector.h"

#include <algorithm>

namespace {

// Samples `count` apart by `step` from `first`: none brighter than the ceiling.
bool isBarLine(const uint8_t* first, std::ptrdiff_t step, uint32_t count, int ceiling) {
    for (uint32_t i = 0; i < count; ++i)
        if (first[static_cast<std::ptrdiff_t>(i) * step] > ceiling) return false;  // most lines are picture: stop early
    return true;
}

}  // namespace

uint32_t smallestBar(uint32_t across) { return std::max<uint32_t>(2, (across + 99) / 100); }

BarWidths measureBars(const Plane& p, const LumaRange& range, const BarsRule& rule) {
    BarWidths bars;
    if (p.width == 0 || p.height == 0) return bars;
    // Bars are black with noise on them: within twice the tolerance above black, darker
    // than the dark ceiling that shadows of a picture reach.
    const int ceiling = range.black() + 2 * (rule.tolerance << (range.depth - 8));
    // No side may be wider than half the picture: bars stop where the picture starts.
    auto rows = [&](uint32_t start, int direction) {
        uint32_t n = 0;
        while (n < p.height / 2 &&
               isBarLine(p.data + static_cast<std::ptrdiff_t>(start + direction * static_cast<int64_t>(n)) * p.stride,
                         1, p.width, ceiling))
            ++n;
        return static_cast<uint16_t>(std::min<uint32_t>(n, UINT16_MAX));
    };
    auto columns = [&](uint32_t start, int direction) {
        uint32_t n = 0;
        while (n < p.width / 2 &&
               isBarLine(p.data + start + direction * static_cast<int64_t>(n), p.stride, p.height, ceiling))
            ++n;
        return static_cast<uint16_t>(std::min<uint32_t>(n, UINT16_MAX));
    };
    bars.top = rows(0, 1);
    bars.bottom = rows(p.height - 1, -1);
    bars.left = columns(0, 1);
    bars.right = columns(p.width - 1, -1);
    return bars;
}
