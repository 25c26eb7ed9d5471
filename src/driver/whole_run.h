// What the whole run is that a run is part of, so that `merge` can tell whether
// its parts make all of it.
#pragma once

#include <cstdint>
#include <optional>

#include "cli/options.h"

// Frames of the whole run from its first frame (the origin), when known: a run
// that is no segment (no --origin) is its own whole run of `count` frames; a
// segment's whole run is --run-frames, else the input's frames from the origin.
std::optional<int64_t> wholeRunFrameCount(const RunOptions& o, std::optional<int64_t> inputFrames,
                                          std::optional<int64_t> count);
