// Edge operators: Sobel gradients into 32-bit or 8-bit planes, absolute backward
// differences, and the element-wise square root of a double plane.
//
// The operators take their records by address and check the destination sizes
// with assertions; the caller creates every destination with the source's size.
#pragma once

#include <cstdint>

#include "tools/image.h"

// 3x3 Sobel kernels: destX gets the horizontal change (right column minus left
// column), destY the vertical change (line below minus line above). Line 0, line
// h - 1, column 0 and column w - 1 of both planes are set to 0. Returns the square
// root of the summed squared gradients (0 without interior samples).
double sobel(const Image* src, const Image32* destX, const Image32* destY);

// The same kernels into 8-bit planes, each gradient stored modulo 256. Returns the
// sum of the integer parts of the stored pairs' magnitudes sqrt(X^2 + Y^2), the
// total wrapping modulo 2^32.
int32_t sobel2(const Image* src, const Image* destX, const Image* destY);

// destX(x, y) = |I(x, y) - I(x-1, y)| and destY(x, y) = |I(x, y) - I(x, y-1)|; line 0
// and column 0 of both planes are 0, the last line and column are filled.
void absGradient(const Image* src, const Image32* destX, const Image32* destY);

// dest[i] = sqrt(src[i]) in storage order; the planes need the same sample count
// but may differ in shape.
void imageSqrt(const ImageDouble* src, const ImageDouble* dest);
