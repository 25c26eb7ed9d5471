#include "indicators/interlace.h"

#include <cstdint>

#include "kernels/kernels.h"

double interlace(const Image& frame) {
    const uint32_t w = static_cast<uint32_t>(frame.w);
    const uint32_t h = static_cast<uint32_t>(frame.h);
    constexpr uint32_t G = kInterlaceBlockSize;
    // Only whole groups are visited, so nothing past a line or the plane is read.
    // Adding 1.0 per comb group is exact below 2^53 groups, and a plane in a
    // 48-bit address space holds fewer than 2^44 groups, so the integer count
    // converted once is the same double.
    const auto count = static_cast<double>(activeKernels().combGroups(planeOf(frame)));
    const uint32_t groups = (w / G) * (h / G);
    return count / static_cast<double>(groups);
}
