// Local deviation of every whole square block of a frame: exact integer sums and
// square sums, then the deviation in the same double steps as calculateStdDevs.
#pragma once

#include <cstdint>
#include <span>

#include "kernels/variants.h"
#include "tools/image.h"

// Writes the deviation of block (bx, by) to deviations[by * (width / size) + bx]
// for every whole size x size block; deviations holds at least
// (width / size) * (height / size) values. Sizes 8 and 16 have SIMD variants.
using BlockDeviationsKernel = void(const Plane& frame, uint32_t size, double* deviations);

// Bit for bit what blockDeviations() gives; rows may lie further apart than the
// width. Allocates nothing.
void blockDeviationsFast(const Plane& frame, uint32_t size, double* deviations);

std::span<const KernelVariant<BlockDeviationsKernel>> blockDeviationsVariants();
