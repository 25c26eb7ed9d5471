// Blackout: 1 when the frame carries no picture, that is when the mean levels of
// its whole 8x8 blocks all lie within less than 4 levels of each other (at any
// level: black, grey or white). 0 for a frame with no whole block.
#pragma once

#include <cstdint>

#include "tools/image.h"

uint8_t blackout(const Image& frame);
// The same from the 8x8 block sums of a width x height frame, row by row.
uint8_t blackoutOfSums(const int32_t* sums, uint32_t width, uint32_t height);

// Smallest and largest of `size` values; `size` must not be 0.
void minmax(const int32_t* values, uint64_t size, int32_t* min, int32_t* max);
