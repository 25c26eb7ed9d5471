#include "kernels/blockiness_kernel.h"

#include <cmath>
#include <cstdint>

#include "kernels/simd.h"

namespace {

constexpr uint32_t B = 8;

inline uint32_t step(uint8_t a, uint8_t b) { return a > b ? a - b : b - a; }

// Steps just inside the grid (inner) and across it (cross).
struct StepTotals {
    uint64_t inner = 0;
    uint64_t cross = 0;
};

// Grid lines at B, 2B, ... up to and including size - B.
inline uint32_t gridLines(uint32_t size) { return size / B > 0 ? size / B - 1 : 0; }

// The steps of one horizontal grid line: row `last` against the row before it
// (inner) and the row after it (cross), over `count` columns from `from`.
StepTotals lineStepsPlain(const uint8_t* before, const uint8_t* last, const uint8_t* first, uint32_t from,
                          uint32_t count) {
    StepTotals t;
    for (uint32_t x = from; x < from + count; ++x) {
        t.inner += step(last[x], before[x]);
        t.cross += step(last[x], first[x]);
    }
    return t;
}

// The steps of vertical grid lines `from` .. `from + count - 1` (1-based) in one
// row, line k weighted by `lines` - k + 1.
StepTotals columnStepsPlain(const uint8_t* row, uint32_t lines, uint32_t from, uint32_t count) {
    StepTotals t;
    for (uint32_t k = from; k < from + count; ++k) {
        const uint32_t x = k * B;
        const uint64_t weight = lines - k + 1;
        t.inner += weight * step(row[x - 1], row[x - 2]);
        t.cross += weight * step(row[x - 1], row[x]);
    }
    return t;
}

StepTotals lineStepsWholePlain(const uint8_t* before, const uint8_t* last, const uint8_t* first, uint32_t width) {
    return lineStepsPlain(before, last, first, 0, width);
}

StepTotals columnStepsWholePlain(const uint8_t* row, uint32_t lines) { return columnStepsPlain(row, lines, 1, lines); }

#if FRAMEPROBE_X86
FRAMEPROBE_AVX2 inline __m256i loadBytes(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

FRAMEPROBE_AVX2 inline uint64_t laneTotal(__m256i v) {
    alignas(32) uint64_t lanes[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), v);
    return lanes[0] + lanes[1] + lanes[2] + lanes[3];
}

FRAMEPROBE_AVX2 StepTotals lineStepsAvx2(const uint8_t* before, const uint8_t* last, const uint8_t* first,
                                         uint32_t width) {
    __m256i inner = _mm256_setzero_si256();
    __m256i cross = _mm256_setzero_si256();
    uint32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i l = loadBytes(last + x);
        inner = _mm256_add_epi64(inner, _mm256_sad_epu8(l, loadBytes(before + x)));
        cross = _mm256_add_epi64(cross, _mm256_sad_epu8(l, loadBytes(first + x)));
    }
    StepTotals t = lineStepsPlain(before, last, first, x, width - x);
    t.inner += laneTotal(inner);
    t.cross += laneTotal(cross);
    return t;
}

// Four grid lines at a time: with the bytes from x - 2 on, each 64-bit lane's
// lowest byte is the sample two before a line; masking all other bytes lets the
// sum of absolute differences return one step per lane, which is then weighted.
FRAMEPROBE_AVX2 StepTotals columnStepsAvx2(const uint8_t* row, uint32_t lines) {
    const __m256i lowByte = _mm256_set1_epi64x(0xFF);
    const __m256i four = _mm256_set1_epi64x(4);
    __m256i weights = _mm256_set_epi64x(lines - 3, lines - 2, lines - 1, lines);
    __m256i inner = _mm256_setzero_si256();
    __m256i cross = _mm256_setzero_si256();
    uint32_t k = 1;
    for (; k + 3 <= lines; k += 4) {
        const uint8_t* at = row + k * B - 2;
        const __m256i twoBefore = _mm256_and_si256(loadBytes(at), lowByte);
        const __m256i lastOf = _mm256_and_si256(loadBytes(at + 1), lowByte);
        const __m256i firstOf = _mm256_and_si256(loadBytes(at + 2), lowByte);
        inner = _mm256_add_epi64(inner, _mm256_mul_epu32(_mm256_sad_epu8(lastOf, twoBefore), weights));
        cross = _mm256_add_epi64(cross, _mm256_mul_epu32(_mm256_sad_epu8(lastOf, firstOf), weights));
        weights = _mm256_sub_epi64(weights, four);
    }
    StepTotals t = columnStepsPlain(row, lines, k, lines + 1 - k);
    t.inner += laneTotal(inner);
    t.cross += laneTotal(cross);
    return t;
}
#endif

struct BlockinessPasses {
    StepTotals (*lineSteps)(const uint8_t* before, const uint8_t* last, const uint8_t* first, uint32_t width);
    StepTotals (*columnSteps)(const uint8_t* row, uint32_t lines);
};

// The totals of blockiness(): each horizontal line's steps count once for every
// line from it to the last, which the running sums give; vertical line k carries
// that weight directly.
double blockinessWith(const Plane& frame, const BlockinessPasses& passes) {
    const uint32_t W = frame.width;
    const uint32_t H = frame.height;
    uint64_t innerTotal = 0;
    uint64_t crossTotal = 0;

    const uint32_t rowLines = gridLines(H);
    StepTotals run;
    for (uint32_t k = 1; k <= rowLines; ++k) {
        const uint8_t* first = frame.data + uint64_t{k} * B * frame.stride;
        const StepTotals line = passes.lineSteps(first - 2 * frame.stride, first - frame.stride, first, W);
        run.inner += line.inner;
        run.cross += line.cross;
        innerTotal += run.inner;
        crossTotal += run.cross;
    }

    const uint32_t columnLines = gridLines(W);
    for (uint32_t y = 0; y < H && columnLines > 0; ++y) {
        const StepTotals row = passes.columnSteps(frame.data + uint64_t{y} * frame.stride, columnLines);
        innerTotal += row.inner;
        crossTotal += row.cross;
    }

    const double ratio = static_cast<double>(innerTotal) / static_cast<double>(crossTotal);
    return std::isnan(ratio) ? 1.0 : ratio;
}

double blockinessPlain(const Plane& frame) {
    return blockinessWith(frame, BlockinessPasses{lineStepsWholePlain, columnStepsWholePlain});
}

#if FRAMEPROBE_X86
double blockinessAvx2(const Plane& frame) {
    return blockinessWith(frame, BlockinessPasses{lineStepsAvx2, columnStepsAvx2});
}
#endif

constexpr KernelVariant<BlockinessKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, blockinessPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, blockinessAvx2},
#endif
};

}  // namespace

std::span<const KernelVariant<BlockinessKernel>> blockinessVariants() { return kVariants; }

double blockinessFast(const Plane& frame) {
    static BlockinessKernel* const chosen = bestVariant(blockinessVariants());
    return chosen(frame);
}
