// What the SIMD variants of the kernels need: the x86 intrinsics and the attribute
// that compiles one function for AVX2. Only the functions marked so use AVX2, so
// code shared with the plain kernels never carries AVX2 instructions.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define FRAMEPROBE_X86 1
#include <immintrin.h>
#define FRAMEPROBE_AVX2 __attribute__((target("avx2")))
#else
#define FRAMEPROBE_X86 0
#endif
