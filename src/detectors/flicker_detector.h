// Flicker: a region, or the whole picture, whose level goes back and forth in place, as one
// stretch from its first swing to its last. The blocks that flicker are those of the
// flickering value's evidence (flicker_blocks.h), judged on every frame over the last 1.25 s
// (and 2 frames): enough for 5 flips of a 2 Hz flicker. A block flickers now only while its
// last turn is at most one of its cycles ago, so that a stretch ends within one period of
// the flicker's end rather than when its turns leave the frames held.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "indicators/flicker_blocks.h"

struct FlickerFinding {
    int64_t since = 0;  // the frame of the first turn of the blocks that flicker now
    double rate = 0;    // switches per frame of the fastest of them, at least 1 in 8 frames
};

class FlickerDetector {
public:
    FlickerDetector(uint32_t width, uint32_t height, double fps);
    // In frame order: a frame's 8x8 block sums and its sums of absolute differences from the
    // frame before (null: no frame before it was measured).
    std::optional<FlickerFinding> feed(int64_t frame, const int32_t* sums, const int32_t* absDiffSums);

    // Frames held: 1.25 s of steps between frames and one frame more, 8 at least.
    static std::size_t window(double fps);

private:
    uint32_t blocksW_, blocksH_;
    std::size_t frames_;
    std::optional<FlickerBlocks> blocks_;
    std::vector<uint8_t> flickering_;
    std::vector<FlickerRhythm> rhythms_;
    std::vector<uint16_t> steady_;  // frames each block has flickered now in a row
    std::size_t peak_ = 0;  // the most blocks that flickered at once in the stretch
    int64_t dropped_ = -1;  // the frame the blocks of the stretch stopped flickering, -1: they have not
    int64_t last_ = -1;
};
