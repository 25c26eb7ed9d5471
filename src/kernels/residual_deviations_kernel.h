// The deviation noise measures on each gathered block: the 6x6 interior of an
// 8x8 block less its 3x3 weighted neighbourhood, in the double steps of filter()
// followed by calculateInteriorStdDevs().
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "kernels/variants.h"

// `strip` holds `blocks` 8x8 blocks side by side, its 8 rows `stride` bytes
// apart; `weights` is the 3x3 kernel row by row. deviations[i] receives the
// sample standard deviation of block i's 36 residuals.
using ResidualDeviationsKernel = void(const uint8_t* strip, std::ptrdiff_t stride, uint32_t blocks,
                                      const double* weights, double* deviations);

std::span<const KernelVariant<ResidualDeviationsKernel>> residualDeviationsVariants();
