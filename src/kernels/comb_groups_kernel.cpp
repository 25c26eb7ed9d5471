#include "kernels/comb_groups_kernel.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "kernels/simd.h"

namespace {

constexpr uint32_t G = 4;

// 1 when the column a, b, c, d alternates strictly; no branch.
inline uint32_t combs(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return ((a > b) & (b < c) & (c > d)) | ((a < b) & (b > c) & (c < d));
}

// Comb groups [fromGroup, toGroup) of the group row whose top line is `l0`.
uint64_t groupRowPlain(const Plane& frame, const uint8_t* l0, uint32_t fromGroup, uint32_t toGroup) {
    const uint8_t* l1 = l0 + frame.stride;
    const uint8_t* l2 = l1 + frame.stride;
    const uint8_t* l3 = l2 + frame.stride;
    uint64_t count = 0;
    for (uint32_t g = fromGroup; g < toGroup; ++g) {
        uint32_t all = 1;
        for (uint32_t x = g * G; x < g * G + G; ++x) all &= combs(l0[x], l1[x], l2[x], l3[x]);
        count += all;
    }
    return count;
}

// Sixteen groups at a time: a byte mask of combing columns, in a loop simple
// enough for the compiler to vectorise, then one 32-bit word per group.
uint64_t combGroupsPlain(const Plane& frame) {
    constexpr uint32_t kChunk = 16;
    const uint32_t groupsX = frame.width / G;
    uint64_t count = 0;
    for (uint32_t gy = 0; gy < frame.height / G; ++gy) {
        const uint8_t* l0 = frame.data + std::ptrdiff_t{gy} * G * frame.stride;
        const uint8_t* l1 = l0 + frame.stride;
        const uint8_t* l2 = l1 + frame.stride;
        const uint8_t* l3 = l2 + frame.stride;
        uint32_t g = 0;
        for (; g + kChunk <= groupsX; g += kChunk) {
            const std::size_t x0 = std::size_t{g} * G;
            uint8_t mask[kChunk * G];
            for (std::size_t i = 0; i < kChunk * G; ++i) {
                const std::size_t x = x0 + i;
                mask[i] = static_cast<uint8_t>(combs(l0[x], l1[x], l2[x], l3[x]));
            }
            for (uint32_t k = 0; k < kChunk; ++k) {
                uint32_t word = 0;
                std::memcpy(&word, mask + k * G, G);
                count += word == 0x01010101u;
            }
        }
        count += groupRowPlain(frame, l0, g, groupsX);
    }
    return count;
}

#if FRAMEPROBE_X86
// Unsigned a > b per byte, as a signed compare of both shifted by 128.
FRAMEPROBE_AVX2 inline __m256i above(__m256i a, __m256i b) {
    const __m256i bias = _mm256_set1_epi8(static_cast<char>(0x80));
    return _mm256_cmpgt_epi8(_mm256_xor_si256(a, bias), _mm256_xor_si256(b, bias));
}

FRAMEPROBE_AVX2 inline __m256i load(const uint8_t* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// Eight groups, 32 columns, at a time: a byte mask of the combing columns, then
// one 32-bit lane per group that is all ones when its four columns comb.
FRAMEPROBE_AVX2 uint64_t combGroupsAvx2(const Plane& frame) {
    const uint32_t groupsX = frame.width / G;
    const __m256i ones = _mm256_set1_epi8(static_cast<char>(0xFF));
    uint64_t count = 0;
    for (uint32_t gy = 0; gy < frame.height / G; ++gy) {
        const uint8_t* l0 = frame.data + std::ptrdiff_t{gy} * G * frame.stride;
        const uint8_t* l1 = l0 + frame.stride;
        const uint8_t* l2 = l1 + frame.stride;
        const uint8_t* l3 = l2 + frame.stride;
        uint32_t g = 0;
        for (; g + 8 <= groupsX; g += 8) {
            const std::size_t x = std::size_t{g} * G;
            const __m256i a = load(l0 + x), b = load(l1 + x), c = load(l2 + x), d = load(l3 + x);
            const __m256i peak = _mm256_and_si256(_mm256_and_si256(above(a, b), above(c, b)), above(c, d));
            const __m256i dip = _mm256_and_si256(_mm256_and_si256(above(b, a), above(b, c)), above(d, c));
            const __m256i whole = _mm256_cmpeq_epi32(_mm256_or_si256(peak, dip), ones);
            count += static_cast<uint64_t>(
                std::popcount(static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(whole)))));
        }
        count += groupRowPlain(frame, l0, g, groupsX);
    }
    return count;
}
#endif

constexpr KernelVariant<CombGroupsKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, combGroupsPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, combGroupsAvx2},
#endif
};

}  // namespace

std::span<const KernelVariant<CombGroupsKernel>> combGroupsVariants() { return kVariants; }
