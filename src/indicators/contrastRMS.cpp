#include "indicators/contrastRMS.h"

#include <algorithm>
#include <cmath>

#include "kernels/kernels.h"

namespace {

// 65536 squares of at most 65025 each still fit in 32 bits.
constexpr uint64_t kChunk = 65536;

}  // namespace

uint64_t sumAndSquareSum(const Image& frame, uint64_t& sum, uint64_t& squareSum) {
    sum = 0;
    squareSum = 0;
    const uint64_t n = frame.w * frame.h;
    const uint8_t* p = frame.data;
    for (uint64_t start = 0; start < n; start += kChunk) {
        const uint64_t end = std::min(n, start + kChunk);
        uint32_t s = 0;
        uint32_t q = 0;
        for (uint64_t i = start; i < end; ++i) {
            const uint32_t v = p[i];
            s += v;
            q += v * v;
        }
        sum += s;
        squareSum += q;
    }
    return sum;
}

double contrastRMS(const Image& frame) {
    const uint64_t n = frame.w * frame.h;
    uint64_t sum = 0;
    uint64_t squareSum = 0;
    activeKernels().sumAndSquareSum(planeOf(frame), sum, squareSum);
    const double s = static_cast<double>(sum);
    const double q = static_cast<double>(squareSum);
    const double count = static_cast<double>(n);
    // The order of evaluation fixes the last bits, and with them whether a
    // uniform frame lands exactly on 0 or just below it.
    const double variance = (q - ((1.0 / count) * s) * s) * (1.0 / (count - 1.0));
    // Below zero only through rounding: the frame is uniform.
    if (variance < 0.0) return 0.0;
    return std::sqrt(variance);
}
