#include "indicators/exposure.h"

#include <cstdint>

#include "indicators/results.h"

namespace {

constexpr int nBlSum = 4;  // blocks in each ranked list
constexpr double kBrightestBlock = 255.0 * BLOCKSIZE * BLOCKSIZE;

// Inserts s at the first position whose value it ranks before (ties go in
// front); the last value drops out.
template <typename Before>
void offer(double (&list)[nBlSum], double s, Before before) {
    for (int i = 0; i < nBlSum; ++i) {
        if (before(s, list[i])) {
            for (int j = nBlSum - 1; j > i; --j) list[j] = list[j - 1];
            list[i] = s;
            return;
        }
    }
}

}  // namespace

double exposure(const Image& frame) {
    const uint32_t w = static_cast<uint32_t>(frame.w);
    const uint32_t h = static_cast<uint32_t>(frame.h);
    constexpr uint32_t B = BLOCKSIZE;
    double darkest[nBlSum] = {kBrightestBlock, kBrightestBlock, kBrightestBlock, kBrightestBlock};
    double brightest[nBlSum] = {0.0, 0.0, 0.0, 0.0};
    // Frames with no whole block keep the initial lists, as an 8-wide frame does.
    if (w >= B && h >= B) {
        // The walk leaves out block columns and rows that start at W - B or later.
        for (uint32_t x0 = 0; x0 < w - B; x0 += B) {
            for (uint32_t y0 = 0; y0 < h - B; y0 += B) {
                uint32_t sum = 0;
                for (uint32_t y = y0; y < y0 + B; ++y) {
                    const uint8_t* row = frame.data + static_cast<uint64_t>(y) * w + x0;
                    for (uint32_t x = 0; x < B; ++x) sum += row[x];
                }
                const double s = sum;
                offer(darkest, s, [](double v, double stored) { return stored >= v; });
                offer(brightest, s, [](double v, double stored) { return v >= stored; });
            }
        }
    }
    double total = 0.0;
    for (double v : brightest) total += v;
    for (double v : darkest) total += v;
    return total / (2.0 * nBlSum * B * B);
}
