#include "kernels/band_repeats_kernel.h"

#include <cstddef>

#include "kernels/simd.h"

namespace {

constexpr uint32_t S = 16;

uint32_t equalCountPlain(const uint8_t* a, const uint8_t* b, uint32_t n) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < n; ++i) count += a[i] == b[i];
    return count;
}

// The band totals wrap at 32 bits as the integer sums they replace do; the
// per-row counts are added the same way.
template <uint32_t (*EqualCount)(const uint8_t*, const uint8_t*, uint32_t)>
void bandRepeats(const Plane& frame, uint32_t bands, int32_t* down, int32_t* right) {
    const uint32_t w = frame.width;
    const uint32_t rightColumns = w > S ? w - S : 0;
    for (uint32_t band = 0; band < bands; ++band) {
        uint32_t vertical = 0;
        uint32_t horizontal = 0;
        for (uint32_t y = band * S; y < band * S + S; ++y) {
            const uint8_t* row = frame.data + std::ptrdiff_t{y} * frame.stride;
            vertical += EqualCount(row, row + S * frame.stride, w);
            horizontal += EqualCount(row, row + S, rightColumns);
        }
        down[band] = static_cast<int32_t>(vertical);
        right[band] = static_cast<int32_t>(horizontal);
    }
}

void bandRepeatsPlain(const Plane& frame, uint32_t bands, int32_t* down, int32_t* right) {
    bandRepeats<equalCountPlain>(frame, bands, down, right);
}

#if FRAMEPROBE_X86
// Byte lanes count equal pairs (subtracting the all-ones of an equal compare) for
// up to 255 vectors, then a sum of absolute differences against zero adds them up.
FRAMEPROBE_AVX2 uint32_t equalCountAvx2(const uint8_t* a, const uint8_t* b, uint32_t n) {
    uint64_t count = 0;
    uint32_t i = 0;
    while (i + 32 <= n) {
        __m256i lanes = _mm256_setzero_si256();
        for (uint32_t steps = 0; steps < 255 && i + 32 <= n; ++steps, i += 32) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
            const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
            lanes = _mm256_sub_epi8(lanes, _mm256_cmpeq_epi8(x, y));
        }
        const __m256i sums = _mm256_sad_epu8(lanes, _mm256_setzero_si256());
        count += static_cast<uint64_t>(_mm256_extract_epi64(sums, 0) + _mm256_extract_epi64(sums, 1) +
                                       _mm256_extract_epi64(sums, 2) + _mm256_extract_epi64(sums, 3));
    }
    return static_cast<uint32_t>(count) + equalCountPlain(a + i, b + i, n - i);
}

FRAMEPROBE_AVX2 void bandRepeatsAvx2(const Plane& frame, uint32_t bands, int32_t* down, int32_t* right) {
    bandRepeats<equalCountAvx2>(frame, bands, down, right);
}
#endif

constexpr KernelVariant<BandRepeatsKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, bandRepeatsPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, bandRepeatsAvx2},
#endif
};

}  // namespace

std::span<const KernelVariant<BandRepeatsKernel>> bandRepeatsVariants() { return kVariants; }
