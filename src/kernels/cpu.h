// Instruction-set levels the kernels are written for, and the level this run uses.
#pragma once

enum class CpuLevel { Plain, Avx2 };

// The highest level both this CPU and the build support, lowered to Plain when the
// environment sets FRAMEPROBE_CPU=plain. Decided once per process.
CpuLevel cpuLevel();

// Whether a kernel written for `level` may run in this process.
inline bool cpuCanRun(CpuLevel level) { return level <= cpuLevel(); }

const char* cpuLevelName(CpuLevel level);
