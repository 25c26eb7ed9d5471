// Noise estimated from the blocks at the most common level of local deviation.
#pragma once

#include "tools/image.h"

// Mean deviation of what a 3x3 Gaussian smoothing removes from the interiors of
// up to 1000 blocks at the commonest deviation level; 0.0 when that level rounds
// to 0 or the frame has no whole 8x8 block, NaN when no block matches the level.
double noise(const Image& frame);

// Orders two doubles given by pointer: -1, 1, or 0 for equal values or a NaN.
int compare(const void* a, const void* b);
