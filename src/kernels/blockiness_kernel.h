// Blockiness from exact integer totals of the byte steps around the 8-sample grid.
#pragma once

#include <span>

#include "kernels/variants.h"
#include "tools/image.h"

using BlockinessKernel = double(const Plane& frame);

// Bit for bit what blockiness() gives for the same samples; rows may lie further
// apart than the width. Allocates nothing.
double blockinessFast(const Plane& frame);

std::span<const KernelVariant<BlockinessKernel>> blockinessVariants();
