// Deep samples (9 to 16 bits, as decoders give them) reduced to the 8 bits the
// indicators measure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "kernels/variants.h"

// Writes out[i] = (w & (2^depth - 1)) >> (depth - 8) for the `count` little-endian
// 16-bit words w at `words` (no alignment needed): the sample's 8 most
// significant bits, whatever the bits above `depth` hold. depth is 9 to 16.
using DeepToBytesKernel = void(const uint8_t* words, uint8_t* out, std::size_t count, int depth);

std::span<const KernelVariant<DeepToBytesKernel>> deepToBytesVariants();
