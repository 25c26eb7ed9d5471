// The variants of one kernel, plainest first, and the choice among them.
#pragma once

#include <span>

#include "kernels/cpu.h"

template <typename F>
struct KernelVariant {
    const char* name;
    CpuLevel level;
    F* fn;
};

// The last variant this process may run; the first one is always plain.
template <typename F>
F* bestVariant(std::span<const KernelVariant<F>> variants) {
    F* chosen = variants.front().fn;
    for (const KernelVariant<F>& v : variants)
        if (cpuCanRun(v.level)) chosen = v.fn;
    return chosen;
}
