#include "detectors/luma_histogram.h"

#include <algorithm>

uint64_t LumaHistogram::atOrBelow(int level) const {
    uint64_t sum = 0;
    for (int v = 0; v <= std::min(level, 255); ++v) sum += counts[static_cast<std::size_t>(v)];
    return sum;
}

void countLevels(const Image& frame, LumaHistogram& out, uint64_t rowStep) {
    // Four tables, so that runs of one level do not wait on the same counter.
    std::array<std::array<uint32_t, 256>, 4> part{};
    out.total = 0;
    for (uint64_t y = 0; y < frame.h; y += rowStep) {
        const uint8_t* p = frame.data + y * frame.w;
        uint64_t i = 0;
        for (; i + 4 <= frame.w; i += 4) {
            ++part[0][p[i]];
            ++part[1][p[i + 1]];
            ++part[2][p[i + 2]];
            ++part[3][p[i + 3]];
        }
        for (; i < frame.w; ++i) ++part[0][p[i]];
        out.total += frame.w;
    }
    for (std::size_t v = 0; v < 256; ++v) out.counts[v] = part[0][v] + part[1][v] + part[2][v] + part[3][v];
}
