// Whole-plane totals of 8-bit samples, a plane copy, the summed-area table of an
// 8-bit plane and block totals read from such a table by the four-corner rule.
//
// Nothing here checks sizes: the caller creates destinations large enough. All
// totals are unsigned 32-bit and wrap modulo 2^32.
#pragma once

#include <cstdint>

#include "tools/image.h"

// Sum of the w*h samples; 0 for an empty plane.
uint32_t sumPixels(Image src);

// Sum of the first width*height samples in storage order; 0 when that product,
// read as a signed 32-bit value, is below 1.
uint32_t sumH(const uint8_t* data, uint32_t width, uint32_t height);

// The same total taken column by column over `height` lines of `width` samples;
// 0 when width or height is below 1.
uint32_t sumV(const uint8_t* data, int32_t width, int32_t height);

// Copies src.w*src.h samples into dest.data, which needs at least as many.
void onlyCopy(Image src, Image dest);

// dest(x, y) = sum of src(j, k) over j <= x and k <= y, with src.w as the line
// length of dest too.
void integrate(Image src, Image32 dest);

// dest(c, r) = total of the blockW x blockH block (c, r), read from the summed-area
// table `src` by the four-corner rule. A block of zero width or height totals 0.
void blockSumsInteg(Image32 src, Image32 dest, uint64_t blockW, uint64_t blockH);

// The four-corner rule on the 8-bit samples of `src` read as table entries, in
// signed 32-bit arithmetic, so results may be negative.
void blockSumsInteg2(Image src, Image32 dest, uint64_t blockW, uint64_t blockH);
