// Exposure: brightness of the darkest and brightest blocks.
#pragma once

#include <cstdint>

#include "tools/image.h"

double exposure(const Image& frame);
// The same from the frame's 8x8 block sums ((w / 8) x (h / 8), row by row).
double exposureOfSums(const int32_t* sums, uint32_t w, uint32_t h);
