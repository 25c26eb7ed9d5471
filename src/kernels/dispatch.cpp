#include <cstdlib>
#include <cstring>

#include "kernels/kernels.h"

const std::vector<const Kernels*>& availableKernels() {
    static const std::vector<const Kernels*> tables{&plainKernels()};
    return tables;
}

const Kernels& activeKernels() {
    static const Kernels* chosen = [] {
        const char* forced = std::getenv("FRAMEPROBE_CPU");
        if (forced != nullptr && std::strcmp(forced, "plain") == 0) return &plainKernels();
        return availableKernels().back();
    }();
    return *chosen;
}
