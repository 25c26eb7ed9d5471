// Whole-plane and block totals.
#pragma once

#include <cstdint>

#include "tools/image.h"

// Sum of every sample, carried in 64 bits.
int64_t sumPixels32(Image32 src);

// Adds the total of every blockW x blockH block of `src` into the matching sample
// of `dest` (dest.w blocks across, dest.h down). Accumulates: pass a zeroed dest
// for plain totals. Samples right of or below the last whole block take no part.
void blockSums(Image src, Image32 dest, uint64_t blockW, uint64_t blockH);
