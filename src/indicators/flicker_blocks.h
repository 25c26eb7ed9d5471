// Which 8x8 blocks of the picture flicker: the evidence behind flicker events.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/large_buffer.h"

// Turns of a block's level by at least this many levels (far above the noise of a block's
// mean, and above the wobble of a block that compression or content leaves nearly still).
inline constexpr int32_t kFlickerSwing = 2;
// Turns in the frames held that make a block's level oscillate: a 2 Hz flicker gives 4 in
// 1.25 s after the flip that sets the direction.
inline constexpr int kFlickerMinTurns = 4;

// The sums of every 8x8 block over the last frames, and which blocks they show flickering.
// A block flickers when, over the frames held:
// - its level turned from rising to falling or back at least kFlickerMinTurns times, each
//   turn a move back of kFlickerSwing levels and of half the swing before it (so that a
//   wobble after a swing, as after a black flash, is no turn), in swings of one size: the
//   largest at most 1.5 times the smallest, and the moves before the first turn and after
//   the last no larger (a cut or a fade is no part of a flicker), at a steady rhythm: each
//   cycle, from a turn to the next but one, as long as the others within two frames and a
//   quarter of the shortest;
// - its samples moved together: its mean travelled at least 3/4 as far as its samples did
//   (noise, grain and moving texture move samples against each other);
// - it was not crossed by motion: at most a tenth of its steps of a swing go against a
//   neighbour's step of a swing on the same frame (an edge leaving one block enters the
//   next), and no neighbour's steps match its own better a frame earlier or later than on
//   the same frame (an object passes from block to block; a flickering area changes at once).
// A block crossed by an object, a cut or a black flash changes once or twice, not back and
// forth in swings of one size. Every result is a function of the frames held alone.
// When a block that flickers turned, as positions in the frames held (0: the oldest).
struct FlickerRhythm {
    uint16_t firstTurn = 0;
    uint16_t lastTurn = 0;
    uint16_t turns = 0;
    uint16_t longestCycle = 0;  // frames from a turn to the next but one, at most
};

class FlickerBlocks {
public:
    // A grid of blocksW x blocksH blocks, holding the last `frames` frames.
    FlickerBlocks(uint32_t blocksW, uint32_t blocksH, std::size_t frames);

    // One frame: its block sums and each block's sum of absolute differences from the frame
    // before, both row by row.
    void add(const int32_t* sums, const int32_t* absDiffSums);

    // Writes 1 for every block that flickers over the frames held, 0 for the others, row by row;
    // with `rhythms`, also when each block that flickers turned (others' entries are left as they are).
    void mark(uint8_t* flickering, FlickerRhythm* rhythms = nullptr);
    std::size_t held() const { return held_; }

private:
    // Copies a block's sums, oldest first, into `out` (held_ values).
    void series(std::size_t block, int32_t* out) const;
    bool oscillates(const int32_t* s);
    bool movesTogether(std::size_t block) const;
    bool notCrossedByMotion(uint32_t bx, uint32_t by, const int32_t* s);

    uint32_t blocksW_;
    uint32_t blocksH_;
    std::size_t blocks_;
    std::size_t frames_;
    // Rings of `frames_` rows of block sums (at most 64 x 255) and of sums of absolute differences,
    // one after the other, on huge pages where the system offers them; only rows written are read.
    LargeBuffer history_;
    uint16_t* sums_;
    uint16_t* absDiffs_;
    std::size_t next_ = 0;
    std::size_t held_ = 0;
    // Per block, over the steps between the rows held: how far its sum moved, and the sum
    // of its samples' moves.
    std::vector<int32_t> meanTravel_;
    std::vector<int32_t> sampleTravel_;
    // Working memory, sized once: the rows oldest first (as offsets and as pointers), every
    // block's count of turns, a block's series, a neighbour's, and its turns.
    std::vector<std::size_t> rows_;
    std::vector<const uint16_t*> rowStarts_;
    std::vector<uint16_t> turns_;  // of every block
    std::vector<int32_t> own_;
    std::vector<int32_t> neighbour_;
    std::vector<std::size_t> turnAt_;
    std::vector<int32_t> turnLevel_;
    std::vector<uint8_t> opposedAt_;  // steps that went against a neighbour's
    std::size_t firstTurn_ = 0;       // where the last block that oscillated first turned
    FlickerRhythm rhythm_;            // and when it turned
};
