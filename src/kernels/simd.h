// What the SIMD variants of the kernels need: the x86 intrinsics and the attributes
// that compile one function for AVX2, or for AVX-512 (foundation and byte/word
// instructions). Only the functions marked so use them, so code shared with the
// plain kernels never carries them.
#pragma once

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
#else
#define FRAMEPROBE_X86 0
#endif
