// The outputs of an option-form run, checked before anything is opened.
#pragma once

#include <optional>

#include "cli/options.h"

// Prints what is wrong with the outputs the options name and returns the exit
// status (the usage status for a conflict, a tool failure for an unwritable
// place); empty when they are good.
std::optional<int> refuseBadOutputs(const RunOptions& options);

// Whether the run writes the legacy log (it is written with the legacy format only).
bool writesLog(const RunOptions& options);
