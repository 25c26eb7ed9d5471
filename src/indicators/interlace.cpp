#include "indicators/interlace.h"

#include <cstdint>

namespace {

// Four samples of one column on consecutive lines that alternate strictly.
bool combs(int a, int b, int c, int d) { return (a > b && b < c && c > d) || (a < b && b > c && c < d); }

}  // namespace

double interlace(const Image& frame) {
    const uint32_t w = static_cast<uint32_t>(frame.w);
    const uint32_t h = static_cast<uint32_t>(frame.h);
    constexpr uint32_t G = INTERLACE_BLOCKSIZE;
    double count = 0.0;
    // Only whole groups are visited, so nothing past a line or the plane is read.
    for (uint32_t y0 = 0; y0 + G <= h; y0 += G) {
        const uint8_t* l0 = frame.data + static_cast<uint64_t>(y0) * w;
        const uint8_t* l1 = l0 + w;
        const uint8_t* l2 = l1 + w;
        const uint8_t* l3 = l2 + w;
        for (uint32_t x0 = 0; x0 + G <= w; x0 += G) {
            bool group = true;
            for (uint32_t x = x0; x < x0 + G; ++x) group = group && combs(l0[x], l1[x], l2[x], l3[x]);
            if (group) count += 1.0;
        }
    }
    const uint32_t groups = (w / G) * (h / G);
    return count / static_cast<double>(groups);
}
