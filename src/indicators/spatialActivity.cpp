#include "indicators/spatialActivity.h"

#include <cmath>
#include <cstdint>

#include "kernels/kernels.h"

double spatialAct(const Image& frame) {
    const uint32_t w = static_cast<uint32_t>(frame.w);
    const uint32_t h = static_cast<uint32_t>(frame.h);
    if (h == 1 || h == 2) return 0.0;
    // Every term is an integer of at most 2 080 800, so an integer total is
    // exact and equal to summing the terms one by one in double.
    uint64_t total = 0;
    for (uint32_t y = 1; y + 1 < h; ++y) {
        const uint8_t* above = frame.data + (y - 1) * w;
        const uint8_t* row = frame.data + y * w;
        const uint8_t* below = frame.data + (y + 1) * w;
        for (uint32_t x = 1; x + 1 < w; ++x) {
            const int32_t gx =
                (above[x + 1] + 2 * row[x + 1] + below[x + 1]) - (above[x - 1] + 2 * row[x - 1] + below[x - 1]);
            const int32_t gy =
                (below[x - 1] + 2 * below[x] + below[x + 1]) - (above[x - 1] + 2 * above[x] + above[x + 1]);
            total += static_cast<uint32_t>(gx * gx + gy * gy);
        }
    }
    return std::sqrt(static_cast<double>(total));
}

double spatialActivity(const Image& frame) {
    // The kernel gives spatialAct's exact integer total.
    const double act = std::sqrt(static_cast<double>(activeKernels().sobelEnergy(planeOf(frame))));
    return act / std::sqrt(static_cast<double>(frame.w * frame.h));
}
