#include "indicators/blur.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "tools/definitions.h"

namespace {

// Edge of the blocks over which the local deviation is taken.
constexpr uint32_t kBlurBlockSize = 16;

struct BlurWorkspace {
    BlockDeviationBuffers deviations;
    Reusable<int32_t> gx, gy, squares;
};

}  // namespace

double blur(const Image& frame) {
    const uint32_t W = static_cast<uint32_t>(frame.w);
    const uint32_t H = static_cast<uint32_t>(frame.h);
    const uint32_t nbx = W / kBlurBlockSize;
    const uint32_t nby = H / kBlurBlockSize;
    if (nbx == 0 || nby == 0) return 0.0;

    thread_local BlurWorkspace ws;
    ImageDouble dev = blockDeviations(frame, kBlurBlockSize, ws.deviations);

    // The gradient and the squares write every sample.
    Image32 gx = planeIn(ws.gx, W, H);
    Image32 gy = planeIn(ws.gy, W, H);
    Image32 sq = planeIn(ws.squares, W, H);
    gradient(&frame, &gx, &gy);
    const uint32_t count = W * H;
    for (uint32_t p = 0; p < count; ++p) sq.data[p] = gx.data[p] * gx.data[p];

    const double mean = static_cast<double>(sumPixels32(sq)) / (static_cast<double>(W) * static_cast<double>(H));
    const double threshold = 16 * mean;

    const int32_t* g = gx.data;
    const int32_t* v = gy.data;
    const int32_t* s = sq.data;
    int32_t edges = 0;
    // Wider than the edge count: long monotonic runs shared by many edges could
    // otherwise carry the total past 32 bits.
    int64_t widthSum = 0;
    const uint32_t lastRow = kBlurBlockSize * nby - 2;
    const uint32_t lastCol = kBlurBlockSize * nbx - 2;
    for (uint32_t y = 1; y <= lastRow; ++y) {
        for (uint32_t x = 1; x <= lastCol; ++x) {
            const uint32_t p = y * W + x;
            if (!(static_cast<double>(s[p]) > threshold)) continue;
            const bool horizontalPeak = s[p - 1] <= s[p] && s[p] > s[p + 1] && std::abs(g[p]) >= std::abs(v[p]);
            const bool verticalPeak = s[p - W] <= s[p] && s[p] > s[p + W];
            if (!horizontalPeak && !verticalPeak) continue;

            const double t = dev.data[(y / kBlurBlockSize) * nbx + x / kBlurBlockSize] * 0.0009765625;
            const int32_t sign = (g[p] < 0 || g[p + 1] < 0) ? -1 : 1;
            auto step = [&](uint32_t k) { return static_cast<double>(sign * g[k]) > t; };
            ++edges;

            const uint32_t L = y * W + (W - 2);
            if (step(p + 1) && p < L) {
                uint32_t i = p + 1;
                while (step(i + 1) && i < L) ++i;
                widthSum += i - p;
            }
            const uint32_t R = y * W + 1;
            if (step(p) && p > R) {
                uint32_t i = p - 1;
                while (step(i) && i > R) --i;
                widthSum += p - i;
            }
        }
    }

    if (widthSum == 0) return 0.0;
    return static_cast<double>(widthSum) / static_cast<double>(edges);
}

double blurToMOS(double b) {
    const double e = std::exp(-1.5 * b + 2.87);
    const double score = 5 * std::pow(e / (e + 1), 0.14);
    return score > 0 ? score : 0.0;
}
