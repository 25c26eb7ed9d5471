// The most worker threads a run (and a decoder) may be given: beyond it a count is a
// mistake, not a machine.
#pragma once

inline constexpr unsigned kMaxThreads = 1024;
