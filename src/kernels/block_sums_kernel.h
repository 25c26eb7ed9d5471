// Totals of every whole 8x8 block of a frame, the shared start of blackout and
// exposure, and with them the differences from the frame before, the start of flicker.
#pragma once

#include <cstdint>
#include <span>

#include "kernels/variants.h"
#include "tools/image.h"

// Writes the sum of the 64 samples of block (bx, by) to sums[by * (width / 8) + bx]
// for every whole 8x8 block; samples right of or below the last whole block take
// no part. Rows may lie further apart than the width.
using BlockSums8Kernel = void(const Plane& frame, int32_t* sums);

// The same sums of `current`, and into absDiffSums the sums of |current - previous| over
// the same blocks, in one pass over the frames (of one size).
using BlockSumsAndDiffs8Kernel = void(const Plane& current, const Plane& previous, int32_t* sums,
                                      int32_t* absDiffSums);

std::span<const KernelVariant<BlockSums8Kernel>> blockSums8Variants();
std::span<const KernelVariant<BlockSumsAndDiffs8Kernel>> blockSumsAndDiffs8Variants();
