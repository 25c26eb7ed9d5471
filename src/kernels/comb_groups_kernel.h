// Comb groups: 4x4 sample squares in which every column zig-zags from line to
// line, the count under interlace.
#pragma once

#include <cstdint>
#include <span>

#include "kernels/variants.h"
#include "tools/image.h"

// The number of whole 4x4 groups (on the grid of multiples of 4) whose four
// columns each alternate strictly: a > b < c > d or a < b > c < d from the top
// line down. Samples outside every whole group are not read. Rows may lie
// further apart than the width.
using CombGroupsKernel = uint64_t(const Plane& frame);

std::span<const KernelVariant<CombGroupsKernel>> combGroupsVariants();
