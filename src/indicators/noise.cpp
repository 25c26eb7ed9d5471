#include "indicators/noise.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "kernels/kernels.h"
#include "tools/definitions.h"

namespace {

constexpr uint32_t NOISE_BLOCKSIZE = 8;
// Number of deviation levels counted; higher deviations fall into the last.
constexpr uint32_t HISTOGRAM_ENTRIES = 128;
// Largest number of blocks gathered for filtering.
constexpr uint32_t MAX_CONTAINER_WIDTH = 1000;
constexpr uint32_t GAUSSIAN_MASK_SIZE = 3;

struct NoiseWorkspace {
    Reusable<double> deviations;
    Reusable<uint8_t> container;
    Reusable<double> mask, filtered, residual, devSums, devSquares, devs;
};

}  // namespace

double noise(const Image& frame) {
    const uint32_t W = static_cast<uint32_t>(frame.w);
    const uint32_t H = static_cast<uint32_t>(frame.h);
    const uint32_t nbx = W / NOISE_BLOCKSIZE;
    const uint32_t nby = H / NOISE_BLOCKSIZE;
    if (nbx == 0 || nby == 0) return 0.0;

    thread_local NoiseWorkspace ws;
    // The kernel gives what blockDeviations() gives.
    const ImageDouble dev = planeIn(ws.deviations, nbx, nby);
    activeKernels().blockDeviations(planeOf(frame), NOISE_BLOCKSIZE, dev.data);
    const uint64_t blocks = uint64_t{nbx} * nby;

    // One spare bin past the last: the weighting around a mode in the last bin
    // reads it as an empty neighbour. Counters are wide enough for any frame.
    uint64_t histogram[HISTOGRAM_ENTRIES + 1] = {};
    uint32_t mode = 0;
    for (uint64_t b = 0; b < blocks; ++b) {
        int64_t bin = std::llround(dev.data[b]);
        if (bin < 0) bin = 0;
        if (bin > int64_t{HISTOGRAM_ENTRIES - 1}) bin = HISTOGRAM_ENTRIES - 1;
        if (++histogram[bin] > histogram[mode]) mode = static_cast<uint32_t>(bin);
    }
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

    const uint32_t containerW = MAX_CONTAINER_WIDTH * NOISE_BLOCKSIZE;
    // Only the first n blocks of the container are read.
    Image container = planeIn(ws.container, containerW, NOISE_BLOCKSIZE);
    uint32_t n = 0;
    for (uint32_t by = 0; by < nby && n < MAX_CONTAINER_WIDTH; ++by) {
        for (uint32_t bx = 0; bx < nbx && n < MAX_CONTAINER_WIDTH; ++bx) {
            const double d = dev.data[by * nbx + bx];
            if ((roundDown ? std::floor(d) : std::round(d)) != level) continue;
            for (uint32_t y = 0; y < NOISE_BLOCKSIZE; ++y) {
                const uint8_t* from = frame.data + (by * NOISE_BLOCKSIZE + y) * W + bx * NOISE_BLOCKSIZE;
                uint8_t* to = container.data + y * containerW + n * NOISE_BLOCKSIZE;
                for (uint32_t x = 0; x < NOISE_BLOCKSIZE; ++x) to[x] = from[x];
            }
            ++n;
        }
    }

    ImageDouble mask = planeIn(ws.mask, GAUSSIAN_MASK_SIZE, GAUSSIAN_MASK_SIZE);
    const uint32_t sigmaSquared = sigma * sigma;
    const double norm = 1 / (static_cast<double>(sigmaSquared) * 6.28);
    const double s = static_cast<double>(2 * sigmaSquared);
    for (int i = -1; i <= 1; ++i) {
        for (int j = -1; j <= 1; ++j) {
            mask.data[(i + 1) * GAUSSIAN_MASK_SIZE + (j + 1)] = std::exp(-(i * i + j * j) / s) * norm;
        }
    }

    // The filter never writes the blocks' edge samples: they keep the zeros the
    // plane was created with, and the deviations below leave them out.
    ImageDouble filtered = planeIn(ws.filtered, containerW, NOISE_BLOCKSIZE);
    const int32_t status = filter(&container, &filtered, &mask, static_cast<int32_t>(n), NOISE_BLOCKSIZE,
                                  NOISE_BLOCKSIZE);
    if (status != 0) {
        fputs("Cannot filter the selected blocks! ", stdout);
        puts("Check the string above to see what is the problem.");
        return 0.0;
    }

    const uint32_t residualW = n * NOISE_BLOCKSIZE;
    ImageDouble residual = planeIn(ws.residual, residualW, NOISE_BLOCKSIZE);
    for (uint32_t y = 0; y < NOISE_BLOCKSIZE; ++y) {
        const uint8_t* original = container.data + y * containerW;
        const double* smooth = filtered.data + y * containerW;
        double* out = residual.data + y * residualW;
        for (uint32_t x = 0; x < residualW; ++x) out[x] = static_cast<double>(original[x]) - smooth[x];
    }

    ImageDouble devSums = clearedPlaneIn(ws.devSums, n, 1);
    ImageDouble devSquares = clearedPlaneIn(ws.devSquares, n, 1);
    ImageDouble devs = planeIn(ws.devs, n, 1);
    calculateStdDevsDouble_ommitZeros(&residual, &devSums, &devSquares, &devs, &mask, NOISE_BLOCKSIZE,
                                      NOISE_BLOCKSIZE);

    double total = 0.0;
    for (uint32_t i = 0; i < n; ++i) total += devs.data[i];
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
