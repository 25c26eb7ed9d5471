// How many samples of a plane have each level, shared by the detectors that judge a
// picture as a whole.
#pragma once

#include <array>
#include <cstdint>

#include "tools/image.h"

struct LumaHistogram {
    std::array<uint32_t, 256> counts{};
    uint64_t total = 0;
    // Samples at or below `level`.
    uint64_t atOrBelow(int level) const;
};

// Counts the levels of every `rowStep`-th row from the first.
void countLevels(const Image& frame, LumaHistogram& out, uint64_t rowStep = 1);
