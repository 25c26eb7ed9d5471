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

// -1.0 on the calls that end no period; on every eighth call, the mean number
// of switches per frame of the 3 % most switching blocks (not-a-number when
// that share rounds down to no block), after which a new period starts.
double flickering(const Image& current, const Image& previous, FlickeringState& state);

// One frame's step of every block's state machine. meanDiff (zero-filled, the
// size of the block grid of counts) receives each block's mean absolute
// difference; a static block at or above threshold turns changing, a changing
// block with no difference at all turns static, and each switch is counted.
void calculateFlickering(const Image& current, const Image& previous, Image& counts, Image& states,
                         ImageDouble& meanDiff, int blockSize, double threshold);

// Orders 8-bit samples descending: returns *b - *a.
int compareElements(const void* a, const void* b);
