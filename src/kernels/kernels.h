// The hot loops of the indicators, as named kernels behind one table of
// function pointers. Each kernel has a plain variant and variants for the
// instruction sets a CPU may have, all giving the same results; a table holds,
// for one level, the best variant of every kernel, and the program picks the
// table of its CPU at start (FRAMEPROBE_CPU=plain forces the plain one).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "kernels/band_repeats_kernel.h"
#include "kernels/block_stats_kernel.h"
#include "kernels/block_sums_kernel.h"
#include "kernels/blockiness_kernel.h"
#include "kernels/blur_kernel.h"
#include "kernels/comb_groups_kernel.h"
#include "kernels/cpu.h"
#include "kernels/deep_samples_kernel.h"
#include "kernels/outside_bounds_kernel.h"
#include "kernels/residual_deviations_kernel.h"
#include "kernels/sobel_kernel.h"
#include "kernels/strong_bits_kernel.h"
#include "kernels/turn_counts_kernel.h"
#include "kernels/variants.h"
#include "tools/image.h"

// Sum over i < n of (a[i] - b[i])^2.
using SquaredDifferenceSumKernel = uint64_t(const uint8_t* a, const uint8_t* b, std::size_t n);
// Sum of the samples and sum of their squares.
using SumAndSquareSumKernel = void(const Plane& plane, uint64_t& sum, uint64_t& squares);
// Sum over rows y >= 1 and columns x >= 1 of (up[x-1] - row[x])^2 + (up[x] - row[x-1])^2,
// `up` being the row above: the Roberts cross energy of the whole frame.
using RobertsEnergyKernel = uint64_t(const Plane& frame);

std::span<const KernelVariant<SquaredDifferenceSumKernel>> squaredDifferenceSumVariants();
std::span<const KernelVariant<SumAndSquareSumKernel>> sumAndSquareSumVariants();
std::span<const KernelVariant<RobertsEnergyKernel>> robertsEnergyVariants();

struct Kernels {
    CpuLevel level;
    SquaredDifferenceSumKernel* squaredDifferenceSum;
    SumAndSquareSumKernel* sumAndSquareSum;
    BlurKernel* blur;
    BlockinessKernel* blockiness;
    BlockDeviationsKernel* blockDeviations;
    SobelEnergyKernel* sobelEnergy;
    BlockSums8Kernel* blockSums8;
    BlockSumsAndDiffs8Kernel* blockSumsAndDiffs8;
    CombGroupsKernel* combGroups;
    BandRepeatsKernel* bandRepeats;
    RobertsEnergyKernel* robertsEnergy;
    StrongBitsKernel* strongBits;
    GridStrongBitsKernel* gridStrongBits;
    ResidualDeviationsKernel* residualDeviations;
    DeepToBytesKernel* deepToBytes;
    TurnCountsKernel* turnCounts;
    OutsideBoundsKernel* outsideBounds;
};

const Kernels& plainKernels();

// One table per level this process may run, the plain one first.
const std::vector<const Kernels*>& availableKernels();

// The table of the highest level this process may run.
const Kernels& activeKernels();
