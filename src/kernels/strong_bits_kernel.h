// Where the Roberts cross energy along a row is strong: the bit masks whose long
// runs block loss counts.
#pragma once

#include <cstdint>
#include <span>

#include "kernels/variants.h"

// The energy at column x of `row`, `up` being the row above, is
// (up[x-1] - row[x])^2 + (up[x] - row[x-1])^2; column 0 has none and is never strong.

// Bit x % 64 of bits[x / 64] is set when the energy at column x < width exceeds
// `limit`. Writes (width + 63) / 64 words; the bits past width are 0.
using StrongBitsKernel = void(const uint8_t* up, const uint8_t* row, uint32_t width, int32_t limit, uint64_t* bits);

// The same at the grid columns 16m, m < lines: bit m tells column 16m. Both rows
// hold at least 16 * lines samples.
using GridStrongBitsKernel = void(const uint8_t* up, const uint8_t* row, uint32_t lines, int32_t limit,
                                  uint64_t* bits);

std::span<const KernelVariant<StrongBitsKernel>> strongBitsVariants();
std::span<const KernelVariant<GridStrongBitsKernel>> gridStrongBitsVariants();
