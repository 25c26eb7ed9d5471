// The exit statuses of the program's commands (the positional form keeps its own 255),
// shared by every command and the monitor.
#pragma once

inline constexpr int kToolFailure = 1;  // the tool failed: input, output, memory
inline constexpr int kUsageStatus = 2;  // a command line that could not be understood
inline constexpr int kQcFailure = 3;    // a QC condition or verdict failed the run

// After SIGINT or SIGTERM: 128 + the signal number, 130 or 143.
constexpr int statusForSignal(int signal) { return 128 + signal; }
