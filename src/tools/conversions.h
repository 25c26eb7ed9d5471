// Sample-type conversions, plane comparison and element-wise arithmetic.
#pragma once

#include <cstdint>

#include "tools/image.h"

// dest[i] = src[i], zero-extended. Both planes need the same sample count (their
// shapes may differ).
void convU8toI32(const Image* src, const Image32* dest);

// dest[i] = the low eight bits of src[i] (no clamping: -1 gives 255, 300 gives 44).
// Both planes need the same sample count.
void convI32toU8(const Image32* src, const Image* dest);

// 1 when both planes have the same shape and samples, else 0. Planes of the same
// shape that share their samples, or hold none, are equal without a look at them.
int32_t areEqual(const Image* a, const Image* b);

// The element-wise operations walk the first n samples, n being the low 32 bits of
// a.w times those of a.h read as a signed value (nothing for n < 1); `b` and `dest`
// need at least n samples.

// dest[i] = a[i]^2 + b[i]^2.
void addSquares(Image a, Image b, Image32 dest);

// dest[i] = a[i] / b[i] in double; a zero divisor gives an infinity or a NaN.
void divide(Image32 a, Image32 b, ImageDouble dest);
