// Slice: band-wise repetition of the picture, 16 lines down against 16 columns right.
#pragma once

#include <cstdint>
#include <optional>

#include "tools/image.h"

inline constexpr uint8_t kSliceBlockSize = 16;

// No value for frames lower than 48 lines: the caller keeps its previous one.
std::optional<double> slice(const Image& frame);

// dest(x, y) = 1 where src sample y*src.w + x equals the one `shift` samples further on.
void compareShifted(Image src, Image dest, int32_t shift);

// dest[i] = a[i] / b[i] for the a.w * a.h first samples.
void divideDouble(ImageDouble a, ImageDouble b, ImageDouble dest);

// Ascending order; a NaN on either side compares equal.
int32_t compare_Double_asc(const void* p, const void* q);
