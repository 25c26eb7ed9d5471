// Totals of every whole 8x8 block of a frame, the shared start of blackout and
// exposure.
#pragma once

#include <cstdint>
#include <span>

#include "kernels/variants.h"
#include "tools/image.h"

// Writes the sum of the 64 samples of block (bx, by) to sums[by * (width / 8) + bx]
// for every whole 8x8 block; samples right of or below the last whole block take
// no part. Rows may lie further apart than the width.
using BlockSums8Kernel = void(const Plane& frame, int32_t* sums);

std::span<const KernelVariant<BlockSums8Kernel>> blockSums8Variants();
