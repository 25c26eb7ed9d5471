// What the SIMD variants of the kernels need: the x86 intrinsics and the attributes
// that compile one function for AVX2, or for AVX-512 (foundation and byte/word
// instructions). Only the functions marked so use them, so code shared with the
// plain kernels never carries them.
#pragma once

#include <cstdint>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define FRAMEPROBE_X86 1
// GCC 12 warns about the placeholder vectors inside its AVX-512 intrinsics
// wherever they are inlined; the warning concerns the header, not the caller.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif
#define FRAMEPROBE_AVX2 __attribute__((target("avx2")))
#define FRAMEPROBE_AVX512 __attribute__((target("avx2,avx512f,avx512bw")))

// Adds the unsigned 32-bit lanes of `narrow` to the 64-bit lanes of `wide`: how
// the kernels empty their 32-bit totals before those could wrap.
FRAMEPROBE_AVX2 inline __m256i addWidened(__m256i wide, __m256i narrow) {
    wide = _mm256_add_epi64(wide, _mm256_cvtepu32_epi64(_mm256_castsi256_si128(narrow)));
    return _mm256_add_epi64(wide, _mm256_cvtepu32_epi64(_mm256_extracti128_si256(narrow, 1)));
}
FRAMEPROBE_AVX512 inline __m512i addWidened(__m512i wide, __m512i narrow) {
    wide = _mm512_add_epi64(wide, _mm512_cvtepu32_epi64(_mm512_castsi512_si256(narrow)));
    return _mm512_add_epi64(wide, _mm512_cvtepu32_epi64(_mm512_extracti64x4_epi64(narrow, 1)));
}

// The total of the four 64-bit lanes.
FRAMEPROBE_AVX2 inline uint64_t laneTotal(__m256i lanes) {
    alignas(32) uint64_t parts[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(parts), lanes);
    return parts[0] + parts[1] + parts[2] + parts[3];
}
#else
#define FRAMEPROBE_X86 0
#endif
