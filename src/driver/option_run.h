// A run of the option form of the command line.
#pragma once

#include "cli/options.h"

int runWithOptions(const RunOptions& options);
