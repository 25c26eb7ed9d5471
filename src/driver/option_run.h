// A run of the option form of the command line.
#pragma once

#include "cli/options.h"

// Exit statuses of the option form besides 0 and the usage status.
inline constexpr int kToolFailure = 1;
inline constexpr int kQcFailure = 3;

int runWithOptions(const RunOptions& options);
