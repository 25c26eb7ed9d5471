// Flickering: how often 8x8 blocks switch between still and changing.
#pragma once

#include <cstdint>

#include "tools/image.h"

// State of a run: the two block images are (W/8) x (H/8) and zero-filled at the start.
struct FlickeringState {
    Image counts;            // switches of each block in the current period
    Image states;            // 0 static, 1 changing
    int32_t frameCount = 0;  // calls of the current period
};

// -1.0 on the calls that end no period; on every eighth call, the mean number
// of switches per frame of the 3 % most switching blocks (not-a-number when
// that share rounds down to no block), after which a new period starts.
double flickering(const Image& current, const Image& previous, FlickeringState& state);

// One frame's step of every block's state machine. meanDiff (the size of the
// block grid of counts) receives each block's mean absolute
// difference; a static block at or above threshold turns changing, a changing
// block with no difference at all turns static, and each switch is counted.
void calculateFlickering(const Image& current, const Image& previous, Image& counts, Image& states,
                         ImageDouble& meanDiff, int blockSize, double threshold);

// The pair part: each block's mean absolute difference, written into meanDiff.
void blockMeanDifferences(const Image& current, const Image& previous, ImageDouble& meanDiff, int blockSize);

// The ordered part: every block's state machine for one frame.
void switchBlocks(const ImageDouble& meanDiff, Image& counts, Image& states, double threshold);

// Orders 8-bit samples descending: returns *b - *a.
int compareElements(const void* a, const void* b);

#include <memory>
#include <optional>
#include <vector>

#include "indicators/temporal.h"

std::unique_ptr<TemporalIndicator> makeFlickering(const TemporalGeometry& geometry);

// Calls in one period of the measure.
inline constexpr int64_t kFlickeringPeriod = 8;

int64_t flickeringFramesBefore(double fps, int64_t start, int64_t origin);

// Evidence of flicker beside each value, kept in the rows as "flickering_of_flicker_blocks": the
// same measure as the value, switches per frame, taken over the blocks that flicker (see
// flicker_blocks.h) instead of the most switching ones, which motion, noise and grain fill,
// each counting one switch at least; 0 when no block flickers. The flicker event rule
// compares it with the threshold.
