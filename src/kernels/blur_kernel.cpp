#include "kernels/blur_kernel.h"

#include <bit>
#include <cmath>
#include <cstdint>

#include "kernels/simd.h"

namespace {

constexpr uint32_t BLOCK = 16;

// The two whole-frame passes, the only part that differs between variants.
struct BlurPasses {
    // Sum over x = 1 .. width - 1 of (row[x] - row[x - 1])^2.
    uint64_t (*squaredDifferences)(const uint8_t* row, uint32_t width);
    // Bit i set when |row[x + i] - row[x + i - 1]| > limit, for i < 64; reads
    // row[x - 1] up to row[x + 63].
    uint64_t (*steepMask)(const uint8_t* row, uint32_t x, uint32_t limit);
};

inline int32_t difference(const uint8_t* row, uint32_t x) { return int32_t{row[x]} - int32_t{row[x - 1]}; }

uint64_t squaredDifferencesPlain(const uint8_t* row, uint32_t width) {
    uint64_t total = 0;
    for (uint32_t x = 1; x < width; ++x) {
        const int32_t d = difference(row, x);
        total += static_cast<uint32_t>(d * d);
    }
    return total;
}

uint64_t steepMaskPlain(const uint8_t* row, uint32_t x, uint32_t count, uint32_t limit) {
    uint64_t mask = 0;
    for (uint32_t i = 0; i < count; ++i)
        if (static_cast<uint32_t>(std::abs(difference(row, x + i))) > limit) mask |= uint64_t{1} << i;
    return mask;
}

uint64_t steepMask64Plain(const uint8_t* row, uint32_t x, uint32_t limit) { return steepMaskPlain(row, x, 64, limit); }

#if FRAMEPROBE_X86
FRAMEPROBE_AVX2 uint64_t squaredDifferencesAvx2(const uint8_t* row, uint32_t width) {
    __m256i wide = _mm256_setzero_si256();
    uint32_t x = 1;
    // Each 32-bit lane gains at most 2 * 255^2 per step; 4096 steps stay below 2^31.
    while (x + 16 <= width) {
        __m256i sums = _mm256_setzero_si256();
        for (uint32_t steps = 0; steps < 4096 && x + 16 <= width; ++steps, x += 16) {
            const __m256i now = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
            const __m256i left = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x - 1)));
            const __m256i d = _mm256_sub_epi16(now, left);
            sums = _mm256_add_epi32(sums, _mm256_madd_epi16(d, d));
        }
        wide = addWidened(wide, sums);
    }
    // Columns x and on, as columns 1 and on of the row from x - 1.
    return laneTotal(wide) + squaredDifferencesPlain(row + x - 1, width - (x - 1));
}

FRAMEPROBE_AVX2 uint64_t steepMask64Avx2(const uint8_t* row, uint32_t x, uint32_t limit) {
    const __m256i bound = _mm256_set1_epi8(static_cast<char>(limit));
    uint64_t mask = 0;
    for (uint32_t half = 0; half < 2; ++half) {
        const uint8_t* at = row + x + 32 * half;
        const __m256i now = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at - 1));
        const __m256i step = _mm256_or_si256(_mm256_subs_epu8(now, left), _mm256_subs_epu8(left, now));
        const __m256i within = _mm256_cmpeq_epi8(_mm256_subs_epu8(step, bound), _mm256_setzero_si256());
        const auto bits = static_cast<uint32_t>(~_mm256_movemask_epi8(within));
        mask |= uint64_t{bits} << (32 * half);
    }
    return mask;
}

// The AVX2 passes on 32 and 64 samples a step; the lanes' bounds are the same.
FRAMEPROBE_AVX512 uint64_t squaredDifferencesAvx512(const uint8_t* row, uint32_t width) {
    __m512i wide = _mm512_setzero_si512();
    uint32_t x = 1;
    while (x + 32 <= width) {
        __m512i sums = _mm512_setzero_si512();
        for (uint32_t steps = 0; steps < 4096 && x + 32 <= width; ++steps, x += 32) {
            const __m512i now = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x)));
            const __m512i left =
                _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x - 1)));
            const __m512i d = _mm512_sub_epi16(now, left);
            sums = _mm512_add_epi32(sums, _mm512_madd_epi16(d, d));
        }
        wide = addWidened(wide, sums);
    }
    // Columns x and on, as columns 1 and on of the row from x - 1.
    return static_cast<uint64_t>(_mm512_reduce_add_epi64(wide)) + squaredDifferencesPlain(row + x - 1, width - (x - 1));
}

FRAMEPROBE_AVX512 uint64_t steepMask64Avx512(const uint8_t* row, uint32_t x, uint32_t limit) {
    const __m512i now = _mm512_loadu_si512(row + x);
    const __m512i left = _mm512_loadu_si512(row + x - 1);
    const __m512i step = _mm512_or_si512(_mm512_subs_epu8(now, left), _mm512_subs_epu8(left, now));
    return _mm512_cmpgt_epu8_mask(step, _mm512_set1_epi8(static_cast<char>(limit)));
}
#endif

// What blur() does for one sample whose squared difference passed the threshold:
// the peak test, then the walks along the row. Returns -1 for no edge, otherwise
// the edge's width.
int64_t edgeWidth(const Plane& frame, uint32_t x, uint32_t y) {
    const uint8_t* row = frame.data + y * frame.stride;
    const uint8_t* up = row - frame.stride;
    const uint8_t* down = row + frame.stride;
    const uint32_t W = frame.width;
    // Squared horizontal differences; column 0 and row 0 have none.
    auto square = [](const uint8_t* r, uint32_t c) {
        const int32_t d = c == 0 ? 0 : difference(r, c);
        return d * d;
    };
    const int32_t g = difference(row, x);
    const int32_t s = g * g;
    const int32_t gy = int32_t{row[x]} - int32_t{up[x]};
    const bool horizontalPeak = square(row, x - 1) <= s && s > square(row, x + 1) && std::abs(g) >= std::abs(gy);
    const int32_t above = y == 1 ? 0 : square(up, x);
    const bool verticalPeak = above <= s && s > square(down, x);
    if (!horizontalPeak && !verticalPeak) return -1;

    // The continuation threshold is the block's deviation / 1024. A deviation of
    // 8-bit samples is below 128 and never NaN (the 16x16 radicand is exact), so
    // the threshold lies in [0, 1/8) and an integer difference passes it exactly
    // when it is positive: the deviation itself is not needed.
    const int32_t sign = (g < 0 || difference(row, x + 1) < 0) ? -1 : 1;
    auto step = [&](uint32_t c) { return sign * difference(row, c) > 0; };
    int64_t width = 0;
    if (step(x + 1) && x < W - 2) {
        uint32_t i = x + 1;
        while (step(i + 1) && i < W - 2) ++i;
        width += i - x;
    }
    if (step(x) && x > 1) {
        uint32_t i = x - 1;
        while (step(i) && i > 1) --i;
        width += x - i;
    }
    return width;
}

// Largest d with d * d <= n.
uint32_t floorSqrt(uint64_t n) {
    uint32_t d = static_cast<uint32_t>(std::sqrt(static_cast<double>(n)));
    while (uint64_t{d} * d > n) --d;
    while (uint64_t{d + 1} * (d + 1) <= n) ++d;
    return d;
}

double blurWith(const Plane& frame, const BlurPasses& passes) {
    const uint32_t W = frame.width;
    const uint32_t H = frame.height;
    const uint32_t nbx = W / BLOCK;
    const uint32_t nby = H / BLOCK;
    if (nbx == 0 || nby == 0) return 0.0;

    uint64_t squares = 0;
    for (uint32_t y = 1; y < H; ++y) squares += passes.squaredDifferences(frame.data + y * frame.stride, W);
    const double mean = static_cast<double>(squares) / (static_cast<double>(W) * static_cast<double>(H));
    const double threshold = 16 * mean;
    // An integer square exceeds the non-negative threshold exactly when it exceeds
    // the threshold's floor, and a difference's square exceeds an integer n exactly
    // when the difference's size exceeds floorSqrt(n).
    const uint64_t floorThreshold = static_cast<uint64_t>(std::floor(threshold));
    if (floorThreshold >= 255 * 255) return 0.0;
    const uint32_t limit = floorSqrt(floorThreshold);

    int32_t edges = 0;
    int64_t widthSum = 0;
    const uint32_t lastRow = BLOCK * nby - 2;
    const uint32_t lastCol = BLOCK * nbx - 2;
    for (uint32_t y = 1; y <= lastRow; ++y) {
        const uint8_t* row = frame.data + y * frame.stride;
        for (uint32_t x0 = 1; x0 <= lastCol; x0 += 64) {
            const uint32_t count = lastCol - x0 + 1 < 64 ? lastCol - x0 + 1 : 64;
            // The wide pass reads up to x0 + 63, which must lie inside the row.
            uint64_t mask = x0 + 63 < W ? passes.steepMask(row, x0, limit) : steepMaskPlain(row, x0, count, limit);
            if (count < 64) mask &= (uint64_t{1} << count) - 1;
            while (mask != 0) {
                const uint32_t x = x0 + static_cast<uint32_t>(std::countr_zero(mask));
                mask &= mask - 1;
                const int64_t width = edgeWidth(frame, x, y);
                if (width < 0) continue;
                ++edges;
                widthSum += width;
            }
        }
    }
    if (widthSum == 0) return 0.0;
    return static_cast<double>(widthSum) / static_cast<double>(edges);
}

double blurPlain(const Plane& frame) { return blurWith(frame, BlurPasses{squaredDifferencesPlain, steepMask64Plain}); }

#if FRAMEPROBE_X86
double blurAvx2(const Plane& frame) { return blurWith(frame, BlurPasses{squaredDifferencesAvx2, steepMask64Avx2}); }
double blurAvx512(const Plane& frame) {
    return blurWith(frame, BlurPasses{squaredDifferencesAvx512, steepMask64Avx512});
}
#endif

constexpr KernelVariant<BlurKernel> VARIANTS[] = {
    {"plain", CpuLevel::Plain, blurPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, blurAvx2},
    {"avx512", CpuLevel::Avx512, blurAvx512},
#endif
};

}  // namespace

std::span<const KernelVariant<BlurKernel>> blurVariants() { return VARIANTS; }

double blurFast(const Plane& frame) {
    static BlurKernel* const chosen = bestVariant(blurVariants());
    return chosen(frame);
}
