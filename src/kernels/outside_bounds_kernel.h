// Samples outside bounds of their own place: how the levels count the luma samples, or
// the pixels whose R, G or B (by their chroma), lies outside a range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "kernels/variants.h"

// The count of i < n with samples[i] < low[i] or samples[i] > high[i]. A bound of 256 or
// more as `low` marks a place outside whatever its sample; -1 as `high` does the same.
using OutsideBoundsKernel = uint64_t(const uint8_t* samples, const int16_t* low, const int16_t* high, std::size_t n);

std::span<const KernelVariant<OutsideBoundsKernel>> outsideBoundsVariants();
