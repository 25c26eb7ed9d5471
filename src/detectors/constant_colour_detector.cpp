#include "detectors/constant_colour_detector.h"

#include <algorithm>

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
