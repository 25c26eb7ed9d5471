#include "indicators/flickering.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "indicators/results.h"
#include "tools/scratch.h"

namespace {

// Mean absolute difference at which a static block turns changing.
constexpr double kThreshold = 0.0111;
// Calls per period; also turns switches into switches per frame.
constexpr int32_t framePeriod = 8;
// Share of the blocks whose counts are averaged.
constexpr double kTopFraction = 0.03;
constexpr double kNoValue = -1.0;

constexpr unsigned kMeanDiffSlot = 0;

}  // namespace

int compareElements(const void* a, const void* b) {
    return static_cast<int>(*static_cast<const uint8_t*>(b)) - static_cast<int>(*static_cast<const uint8_t*>(a));
}

void calculateFlickering(const Image& current, const Image& previous, Image& counts, Image& states,
                         ImageDouble& meanDiff, int blockSize, double threshold) {
    const uint32_t bw = static_cast<uint32_t>(counts.w);
    const uint32_t bh = static_cast<uint32_t>(counts.h);
    if (bh == 0) return;
    assert(blockSize > 0);
    assert(states.w == counts.w && states.h == counts.h && meanDiff.w == counts.w && meanDiff.h == counts.h);
    const uint32_t s = static_cast<uint32_t>(blockSize);
    const uint32_t w = static_cast<uint32_t>(current.w);
    assert(uint64_t{bw} * s <= current.w && uint64_t{bh} * s <= current.h);
    assert(previous.w == current.w && previous.h == current.h);

    for (uint32_t r = 0; r < bh; ++r) {
        double* blockRow = meanDiff.data + r * bw;
        for (uint32_t y = r * s; y < r * s + s; ++y) {
            const uint8_t* c = current.data + y * w;
            const uint8_t* p = previous.data + y * w;
            for (uint32_t col = 0; col < bw; ++col) {
                // Integer partial sums are exact, as is their addition in double.
                int32_t sum = 0;
                for (uint32_t x = col * s; x < col * s + s; ++x)
                    sum += std::abs(static_cast<int32_t>(c[x]) - static_cast<int32_t>(p[x]));
                blockRow[col] += sum;
            }
        }
    }

    const uint32_t n = bw * bh;
    if (n == 0) return;
    const double area = static_cast<double>(s * s);
    for (uint32_t i = 0; i < n; ++i) meanDiff.data[i] /= area;

    for (uint32_t i = 0; i < n; ++i) {
        const double m = meanDiff.data[i];
        uint8_t& q = states.data[i];
        if (m >= threshold && q == 0) {
            q = 1;
            ++counts.data[i];
        } else if (m == 0.0 && q == 1) {
            q = 0;
            ++counts.data[i];
        }
    }
}

double flickering(const Image& current, const Image& previous, FlickeringState& state) {
    ImageDouble meanDiff = scratchImageDouble(kMeanDiffSlot, current.w / BLOCKSIZE, current.h / BLOCKSIZE);
    calculateFlickering(current, previous, state.counts, state.states, meanDiff, BLOCKSIZE, kThreshold);

    if (++state.frameCount != framePeriod) return kNoValue;

    uint8_t* counts = state.counts.data;
    const uint32_t n = static_cast<uint32_t>(state.counts.w) * static_cast<uint32_t>(state.counts.h);
    std::sort(counts, counts + n, [](const uint8_t& a, const uint8_t& b) { return compareElements(&a, &b) < 0; });
    const uint32_t k = static_cast<uint32_t>(n * kTopFraction);
    uint64_t total = 0;
    for (uint32_t i = 0; i < k; ++i) total += counts[i];
    // With no block in the top share this is 0 / 0: not-a-number.
    const double value = static_cast<double>(total) / static_cast<double>(uint64_t{k} * framePeriod);

    state.frameCount = 0;
    if (n > 0) {
        std::memset(counts, 0, n);
        std::memset(state.states.data, 0, n);
    }
    return value;
}
