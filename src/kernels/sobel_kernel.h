// Summed squared Sobel magnitudes of a frame's interior, the integer total under
// spatial activity.
#pragma once

#include <cstdint>
#include <span>

#include "kernels/variants.h"
#include "tools/image.h"

// Sum of Gx^2 + Gy^2 over every sample not on the frame's border; 0 for frames of
// fewer than three rows or columns. spatialAct() is the square root of this total.
using SobelEnergyKernel = uint64_t(const Plane& frame);

uint64_t sobelEnergyFast(const Plane& frame);

std::span<const KernelVariant<SobelEnergyKernel>> sobelEnergyVariants();
