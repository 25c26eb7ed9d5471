#include "indicators/blackout.h"

#include <algorithm>
#include <cassert>

#include "indicators/results.h"
#include "indicators/shared_passes.h"
#include "tools/definitions.h"

namespace {

// Largest spread of block mean levels (exclusive) that still counts as no picture.
constexpr double kBlackoutThreshold = 4.0;

}  // namespace

void minmax(const int32_t* values, uint64_t size, int32_t* min, int32_t* max) {
    assert(size > 0);
    int32_t lo = values[0];
    int32_t hi = values[0];
    // Without branches, so that the compiler vectorises the loop.
    for (uint64_t i = 1; i < size; ++i) {
        lo = std::min(lo, values[i]);
        hi = std::max(hi, values[i]);
    }
    *min = lo;
    *max = hi;
}

uint8_t blackoutOfSums(const int32_t* sums, uint32_t width, uint32_t height) {
    const uint32_t blocksX = width / kBlockSize;
    const uint32_t blocksY = height / kBlockSize;
    // No whole block, nothing to compare: not flagged.
    if (blocksX == 0 || blocksY == 0) return 0;
    int32_t lo = 0;
    int32_t hi = 0;
    minmax(sums, uint64_t{blocksX} * blocksY, &lo, &hi);

    const int32_t spread = hi - lo;
    const double meanSpread = static_cast<double>(spread) / (kBlockSize * kBlockSize);
    return kBlackoutThreshold > meanSpread ? 1 : 0;
}

uint8_t blackout(const Image& frame) {
    thread_local SharedPasses passes;
    passes.start(frame);
    return blackoutOfSums(passes.blockSums8(), static_cast<uint32_t>(frame.w), static_cast<uint32_t>(frame.h));
}
