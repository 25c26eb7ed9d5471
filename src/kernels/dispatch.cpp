#include <memory>

#include "kernels/kernels.h"

namespace {

// The variant of the highest level up to `level`; the first is always plain.
template <typename F>
F* variantFor(std::span<const KernelVariant<F>> variants, CpuLevel level) {
    F* chosen = variants.front().fn;
    for (const KernelVariant<F>& v : variants)
        if (v.level <= level) chosen = v.fn;
    return chosen;
}

Kernels tableFor(CpuLevel level) {
    return Kernels{level,
                   variantFor(squaredDifferenceSumVariants(), level),
                   variantFor(sumAndSquareSumVariants(), level),
                   variantFor(blurVariants(), level),
                   variantFor(blockinessVariants(), level),
                   variantFor(blockDeviationsVariants(), level),
                   variantFor(sobelEnergyVariants(), level),
                   variantFor(blockSums8Variants(), level),
                   variantFor(blockSumsAndDiffs8Variants(), level),
                   variantFor(combGroupsVariants(), level),
                   variantFor(bandRepeatsVariants(), level),
                   variantFor(robertsEnergyVariants(), level),
                   variantFor(strongBitsVariants(), level),
                   variantFor(gridStrongBitsVariants(), level),
                   variantFor(residualDeviationsVariants(), level),
                   variantFor(deepToBytesVariants(), level),
                   variantFor(turnCountsVariants(), level),
                   variantFor(outsideBoundsVariants(), level)};
}

}  // namespace

const Kernels& plainKernels() {
    static const Kernels table = tableFor(CpuLevel::Plain);
    return table;
}

const std::vector<const Kernels*>& availableKernels() {
    static const std::vector<const Kernels*> tables = [] {
        static const Kernels avx2 = tableFor(CpuLevel::Avx2);
        static const Kernels avx512 = tableFor(CpuLevel::Avx512);
        std::vector<const Kernels*> all{&plainKernels()};
        if (cpuCanRun(CpuLevel::Avx2)) all.push_back(&avx2);
        if (cpuCanRun(CpuLevel::Avx512)) all.push_back(&avx512);
        return all;
    }();
    return tables;
}

const Kernels& activeKernels() {
    static const Kernels& chosen = *availableKernels().back();
    return chosen;
}
