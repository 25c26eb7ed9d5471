// Blur without working planes: the same value as blur() from two passes over the
// frame, the second one stopping only at the few samples steep enough to be edges.
#pragma once

#include <span>

#include "kernels/variants.h"
#include "tools/image.h"

using BlurKernel = double(const Plane& frame);

// Mean width of the strong horizontal edges, bit for bit what blur() gives for the
// same samples; rows may lie further apart than the width. Allocates nothing.
double blurFast(const Plane& frame);

std::span<const KernelVariant<BlurKernel>> blurVariants();
