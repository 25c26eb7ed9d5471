// Instruction-set levels the kernels are written for, and the level this run uses.
#pragma once

enum class CpuLevel { Plain, Avx2, Avx512 };

// The highest level both this CPU and the build support, lowered to the level the
// environment names in FRAMEPROBE_CPU (plain, avx2). Decided once per process.
CpuLevel cpuLevel();

// Whether a kernel written for `level` may run in this process.
inline bool cpuCanRun(CpuLevel level) { return level <= cpuLevel(); }

const char* cpuLevelName(CpuLevel level);
