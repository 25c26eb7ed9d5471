#include "kernels/cpu.h"

#include <cstdlib>
#include <cstring>

#include "kernels/simd.h"

namespace {

CpuLevel detectLevel() {
    const char* forced = std::getenv("FRAMEPROBE_CPU");
    if (forced != nullptr && std::strcmp(forced, "plain") == 0) return CpuLevel::Plain;
#if FRAMEPROBE_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return CpuLevel::Avx2;
#endif
    return CpuLevel::Plain;
}

}  // namespace

CpuLevel cpuLevel() {
    static const CpuLevel level = detectLevel();
    return level;
}

const char* cpuLevelName(CpuLevel level) {
    switch (level) {
        case CpuLevel::Plain: return "plain";
        case CpuLevel::Avx2: return "avx2";
    }
    return "unknown";
}
