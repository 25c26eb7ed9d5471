#include "kernels/outside_bounds_kernel.h"

#include <bit>

#include "kernels/simd.h"

namespace {

uint64_t outsideBoundsPlain(const uint8_t* samples, const int16_t* low, const int16_t* high, std::size_t n) {
    uint64_t count = 0;
    for (std::size_t i = 0; i < n; ++i) count += samples[i] < low[i] || samples[i] > high[i];
    return count;
}

#if FRAMEPROBE_X86
// 16 samples a step, widened to 16 bits beside their bounds; each outside sample sets two
// bits of the comparison's byte mask.
FRAMEPROBE_AVX2 uint64_t outsideBoundsAvx2(const uint8_t* samples, const int16_t* low, const int16_t* high,
                                          std::size_t n) {
    uint64_t bits = 0;
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m256i s = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i)));
        const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(low + i));
        const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(high + i));
        const __m256i outside = _mm256_or_si256(_mm256_cmpgt_epi16(lo, s), _mm256_cmpgt_epi16(s, hi));
        bits += static_cast<uint64_t>(std::popcount(static_cast<uint32_t>(_mm256_movemask_epi8(outside))));
    }
    return bits / 2 + outsideBoundsPlain(samples + i, low + i, high + i, n - i);
}
#endif

constexpr KernelVariant<OutsideBoundsKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, outsideBoundsPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, outsideBoundsAvx2},
#endif
};

}  // namespace

std::span<const KernelVariant<OutsideBoundsKernel>> outsideBoundsVariants() { return kVariants; }
