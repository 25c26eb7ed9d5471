// Flickering: how often 8x8 blocks switch between still and changing.
#pragma once

#include <cstdint>

#include "tools/image.h"

// Run state. The driver allocates the two block images, (W/8) x (H/8) and
// zero-filled, before the first frame and releases them after the last.
struct FlickeringState {
    Image counts;            // switches of each block in the current period
    Image states;            // 0 static, 1 changing
    int32_t frameCount = 0;  // calls of the current period
};

double flickering(const Image& current, const Image& previous, FlickeringState& state);
