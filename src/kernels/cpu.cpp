#include "kernels/cpu.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "kernels/simd.h"

namespace {

CpuLevel supportedLevel() {
#if FRAMEPROBE_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")) return CpuLevel::Avx512;
    if (__builtin_cpu_supports("avx2")) return CpuLevel::Avx2;
#endif
    return CpuLevel::Plain;
}

CpuLevel detectLevel() {
    const CpuLevel supported = supportedLevel();
    const char* forced = std::getenv("FRAMEPROBE_CPU");
    if (forced == nullptr) return supported;
    for (CpuLevel level : {CpuLevel::Plain, CpuLevel::Avx2})
        if (std::strcmp(forced, cpuLevelName(level)) == 0) return level < supported ? level : supported;
    return supported;
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
        case CpuLevel::Avx512: return "avx512";
    }
    return "unknown";
}
