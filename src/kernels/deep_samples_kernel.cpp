#include "kernels/deep_samples_kernel.h"

#include <cstring>

#include "kernels/simd.h"

namespace {

void deepToBytesPlain(const uint8_t* words, uint8_t* out, std::size_t count, int depth) {
    const unsigned mask = (1u << depth) - 1;
    const int down = depth - 8;
    for (std::size_t i = 0; i < count; ++i) {
        uint16_t word;
        std::memcpy(&word, words + 2 * i, 2);
        out[i] = static_cast<uint8_t>((word & mask) >> down);
    }
}

#if FRAMEPROBE_X86
// 32 samples a step: masked and shifted words are below 256, so packing them
// with unsigned saturation keeps them whole; the pack works within 128-bit
// lanes, and a permutation restores the order.
FRAMEPROBE_AVX2 void deepToBytesAvx2(const uint8_t* words, uint8_t* out, std::size_t count, int depth) {
    const __m256i mask = _mm256_set1_epi16(static_cast<short>((1u << depth) - 1));
    const __m128i down = _mm_cvtsi32_si128(depth - 8);
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + 2 * i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + 2 * i + 32));
        const __m256i packed = _mm256_packus_epi16(_mm256_srl_epi16(_mm256_and_si256(a, mask), down),
                                                   _mm256_srl_epi16(_mm256_and_si256(b, mask), down));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_permute4x64_epi64(packed, 0xD8));
    }
    deepToBytesPlain(words + 2 * i, out + i, count - i, depth);
}

// The same on 64 samples a step.
FRAMEPROBE_AVX512 void deepToBytesAvx512(const uint8_t* words, uint8_t* out, std::size_t count, int depth) {
    const __m512i mask = _mm512_set1_epi16(static_cast<short>((1u << depth) - 1));
    const __m128i down = _mm_cvtsi32_si128(depth - 8);
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    std::size_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i a = _mm512_loadu_si512(words + 2 * i);
        const __m512i b = _mm512_loadu_si512(words + 2 * i + 64);
        const __m512i packed = _mm512_packus_epi16(_mm512_srl_epi16(_mm512_and_si512(a, mask), down),
                                                   _mm512_srl_epi16(_mm512_and_si512(b, mask), down));
        _mm512_storeu_si512(out + i, _mm512_permutexvar_epi64(order, packed));
    }
    deepToBytesAvx2(words + 2 * i, out + i, count - i, depth);
}
#endif

constexpr KernelVariant<DeepToBytesKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, deepToBytesPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, deepToBytesAvx2},
    {"avx512", CpuLevel::Avx512, deepToBytesAvx512},
#endif
};

}  // namespace

std::span<const KernelVariant<DeepToBytesKernel>> deepToBytesVariants() { return kVariants; }
