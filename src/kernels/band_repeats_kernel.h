// Repetition in bands of 16 lines: how many samples equal the one 16 lines below
// and the one 16 columns to the right, the counts under slice.
#pragma once

#include <cstdint>
#include <span>

#include "kernels/variants.h"
#include "tools/image.h"

// For every band i < bands (lines 16i .. 16i + 15):
//   down[i]  = samples x < width equal to the sample 16 lines below,
//   right[i] = samples x < width - 16 equal to the sample 16 columns to the right
//              (0 when the width is 16 or less),
// as 32-bit totals. Needs 16 * (bands + 1) <= height. Rows may lie further apart
// than the width.
using BandRepeatsKernel = void(const Plane& frame, uint32_t bands, int32_t* down, int32_t* right);

std::span<const KernelVariant<BandRepeatsKernel>> bandRepeatsVariants();
