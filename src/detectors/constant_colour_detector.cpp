#include "detectors/constant_colour_detector.h"

#include <algorithm>

#include "tools/levels.h"

std::optional<int> constantLevel(const LumaHistogram& levels, const LumaRange& range, const ConstantColourRule& rule) {
    if (levels.total == 0) return std::nullopt;
    // The window of 2 * noise + 1 levels that holds the most samples, slid across the levels.
    const int width = 2 * std::min(range.noise(), 127) + 1;
    uint64_t inWindow = 0;
    for (int v = 0; v < width; ++v) inWindow += levels.counts[static_cast<std::size_t>(v)];
    uint64_t best = inWindow;
    int bestStart = 0;
    for (int start = 1; start + width <= 256; ++start) {
        inWindow += levels.counts[static_cast<std::size_t>(start + width - 1)];
        inWindow -= levels.counts[static_cast<std::size_t>(start - 1)];
        if (inWindow > best) {
            best = inWindow;
            bestStart = start;
        }
    }
    if (static_cast<double>(best) < rule.share * static_cast<double>(levels.total)) return std::nullopt;
    // The level is the window's mean, rounded.
    uint64_t weighted = 0;
    for (int v = bestStart; v < bestStart + width; ++v)
        weighted += static_cast<uint64_t>(v) * levels.counts[static_cast<std::size_t>(v)];
    return static_cast<int>((weighted + best / 2) / best);
}

std::optional<std::pair<int, int>> meanChroma(const Picture& picture) {
    if (picture.planeCount == 0) return std::nullopt;
    if (picture.planeCount < 3) return std::pair{128, 128};
    const auto eightBit = [&](const SamplePlane& plane) {
        uint64_t sum = 0;
        for (uint32_t y = 0; y < plane.height; ++y)
            for (uint32_t x = 0; x < plane.width; ++x) sum += sampleAt(plane, picture.bitDepth, x, y);
        const uint64_t count = uint64_t{plane.width} * plane.height;
        if (count == 0) return 128;
        // Rounded once, from the sum at the picture's depth.
        const uint64_t scale = count << (picture.bitDepth - 8);
        return static_cast<int>((sum + scale / 2) / scale);
    };
    return std::pair{eightBit(picture.planes[1]), eightBit(picture.planes[2])};
}
