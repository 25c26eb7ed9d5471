#include "indicators/noise.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kernels/kernels.h"
#include "tools/definitions.h"
#include "tools/tally.h"

namespace {

constexpr uint32_t kNoiseBlockSize = 8;
// Number of deviation levels counted; higher deviations fall into the last.
constexpr uint32_t kHistogramEntries = 128;
// Largest number of blocks gathered for filtering.
constexpr uint32_t kMaxContainerWidth = 1000;
constexpr uint32_t kGaussianMaskSize = 3;

// std::floor and std::round without a library call for the deviations, which
// are below 2^52, where dropping the fraction is exact; the rest take the calls.
double floorOf(double d) {
    if (!(d >= 0.0 && d < 0x1p52)) return std::floor(d);
    return static_cast<double>(static_cast<int64_t>(d));
}
double roundOf(double d) {
    if (!(d >= 0.0 && d < 0x1p52)) return std::round(d);
    const double whole = floorOf(d);
    return d - whole >= 0.5 ? whole + 1.0 : whole;
}

// The deviation rounded half away from zero, within the histogram's bins.
uint32_t histogramBin(double d) {
    if (!(d >= 0.0)) return 0;  // negative or not a number
    if (d >= kHistogramEntries - 0.5) return kHistogramEntries - 1;
    // roundOf without a branch on the fraction, which noise makes unpredictable.
    const auto whole = static_cast<uint32_t>(d);
    return whole + static_cast<uint32_t>(d - static_cast<double>(whole) >= 0.5);
}

// The bin that reached the largest count first, as a running mode that moves only to
// a bin whose count has passed its own finds it. Counting apart from the mode keeps
// the blocks from being chained through the histogram's memory.
uint32_t modeOf(const uint8_t* bins, uint64_t blocks, uint64_t (&histogram)[kHistogramEntries + 1]) {
    // The spare bin past the last stays empty.
    tallyBytes(bins, blocks, histogram);
    uint64_t top = 0;
    uint32_t mode = 0;
    uint32_t ties = 0;
    for (uint32_t i = 0; i < kHistogramEntries; ++i) {
        if (histogram[i] > top) {
            top = histogram[i];
            mode = i;
            ties = 1;
        } else if (histogram[i] == top) {
            ++ties;
        }
    }
    if (ties == 1) return mode;
    // Several bins share the top count: the first to reach it is the mode.
    uint64_t seen[kHistogramEntries] = {};
    for (uint64_t b = 0; b < blocks; ++b)
        if (++seen[bins[b]] == top) return bins[b];
    return mode;
}

struct NoiseWorkspace {
    Reusable<double> deviations;
    Reusable<uint8_t> bins;
    Reusable<uint8_t> container;
    Reusable<double> devs;
};

}  // namespace

double noise(const Image& frame) {
    const uint32_t W = static_cast<uint32_t>(frame.w);
    const uint32_t H = static_cast<uint32_t>(frame.h);
    const uint32_t nbx = W / kNoiseBlockSize;
    const uint32_t nby = H / kNoiseBlockSize;
    if (nbx == 0 || nby == 0) return 0.0;

    thread_local NoiseWorkspace ws;
    // The kernel gives what blockDeviations() gives.
    const ImageDouble dev = planeIn(ws.deviations, nbx, nby);
    activeKernels().blockDeviations(planeOf(frame), kNoiseBlockSize, dev.data);
    const uint64_t blocks = uint64_t{nbx} * nby;

    // One spare bin past the last: the weighting around a mode in the last bin
    // reads it as an empty neighbour. Counters are wide enough for any frame.
    uint64_t histogram[kHistogramEntries + 1] = {};
    uint8_t* bins = ws.bins.take(blocks);
    for (uint64_t b = 0; b < blocks; ++b) bins[b] = static_cast<uint8_t>(histogramBin(dev.data[b]));
    uint32_t mode = modeOf(bins, blocks, histogram);
    if (mode == 0) mode = 1;

    const uint64_t below = histogram[mode - 1];
    const uint64_t at = histogram[mode];
    const uint64_t above = histogram[mode + 1];
    const double mu = static_cast<double>((mode - 1) * below + mode * at + (mode + 1) * above) /
                      static_cast<double>(below + at + above);

    const uint32_t sigma = static_cast<uint32_t>(std::round(mu));
    if (sigma == 0) return 0.0;

    // Below one half the level is rounded down, from one half on it is rounded.
    const bool roundDown = std::floor(mu) == static_cast<double>(sigma);
    const double level = static_cast<double>(sigma);

    const uint32_t containerW = kMaxContainerWidth * kNoiseBlockSize;
    // Only the first n blocks of the container are read.
    Image container = planeIn(ws.container, containerW, kNoiseBlockSize);
    uint32_t n = 0;
    for (uint32_t by = 0; by < nby && n < kMaxContainerWidth; ++by) {
        for (uint32_t bx = 0; bx < nbx && n < kMaxContainerWidth; ++bx) {
            const double d = dev.data[by * nbx + bx];
            if ((roundDown ? floorOf(d) : roundOf(d)) != level) continue;
            for (uint32_t y = 0; y < kNoiseBlockSize; ++y) {
                const uint8_t* from = frame.data + (by * kNoiseBlockSize + y) * W + bx * kNoiseBlockSize;
                std::memcpy(container.data + y * containerW + n * kNoiseBlockSize, from, kNoiseBlockSize);
            }
            ++n;
        }
    }

    // The 3x3 Gaussian of the level's variance, row by row.
    double weights[kGaussianMaskSize * kGaussianMaskSize];
    const uint32_t sigmaSquared = sigma * sigma;
    const double norm = 1 / (static_cast<double>(sigmaSquared) * 6.28);
    const double s = static_cast<double>(2 * sigmaSquared);
    for (int i = -1; i <= 1; ++i) {
        for (int j = -1; j <= 1; ++j) {
            weights[(i + 1) * kGaussianMaskSize + (j + 1)] = std::exp(-(i * i + j * j) / s) * norm;
        }
    }

    // Each block's deviation from its smoothed self, as filter() and
    // calculateInteriorStdDevs() give it on the gathered blocks.
    double* devs = ws.devs.take(n);
    activeKernels().residualDeviations(container.data, static_cast<std::ptrdiff_t>(containerW), n, weights, devs);

    double total = 0.0;
    for (uint32_t i = 0; i < n; ++i) total += devs[i];
    // With no matching block this is 0/0: the level had no block to measure.
    return total / static_cast<double>(n);
}

int compare(const void* a, const void* b) {
    const double x = *static_cast<const double*>(a);
    const double y = *static_cast<const double*>(b);
    if (x < y) return -1;
    if (x > y) return 1;
    return 0;
}
