#include "indicators/flicker_blocks.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "kernels/kernels.h"

namespace {

// Sums of 64 samples: a swing of kFlickerSwing levels of the block's mean.
constexpr int32_t kSwingSum = kFlickerSwing * 64;

constexpr int kNeighbours[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};

// The pass of add over a full window. The row written is neither of the rows read (the
// newest and the second oldest, one row when two are held), which lets it run on vectors.
void slideWindow(std::size_t blocks, const int32_t* __restrict sums, const int32_t* __restrict absDiffSums,
                 const uint16_t* __restrict newest, const uint16_t* __restrict second,
                 const uint16_t* __restrict secondDiffs, uint16_t* __restrict row, uint16_t* __restrict diffRow,
                 int32_t* __restrict meanTravel, int32_t* __restrict sampleTravel) {
    for (std::size_t b = 0; b < blocks; ++b) {
        meanTravel[b] += std::abs(sums[b] - newest[b]) - std::abs(int32_t{second[b]} - row[b]);
        sampleTravel[b] += absDiffSums[b] - secondDiffs[b];
        row[b] = static_cast<uint16_t>(sums[b]);
        diffRow[b] = static_cast<uint16_t>(absDiffSums[b]);
    }
}

}  // namespace

FlickerBlocks::FlickerBlocks(uint32_t blocksW, uint32_t blocksH, std::size_t frames)
    : blocksW_(blocksW),
      blocksH_(blocksH),
      blocks_(std::size_t{blocksW} * blocksH),
      frames_(std::max<std::size_t>(frames, 2)),
      history_(2 * blocks_ * frames_ * sizeof(uint16_t)),
      sums_(reinterpret_cast<uint16_t*>(history_.data())),
      absDiffs_(sums_ + blocks_ * frames_),
      meanTravel_(blocks_),
      sampleTravel_(blocks_),
      rows_(frames_),
      rowStarts_(frames_),
      turns_(blocks_),
      own_(frames_),
      neighbour_(frames_),
      turnAt_(frames_),
      turnLevel_(frames_),
      opposedAt_(frames_) {}

void FlickerBlocks::add(const int32_t* sums, const int32_t* absDiffSums) {
    uint16_t* row = sums_ + next_ * blocks_;
    uint16_t* diffRow = absDiffs_ + next_ * blocks_;
    if (held_ == frames_) {
        // The travels cover the steps between the rows held. Once the window is full, in
        // one pass: the oldest row's step and the difference it came with leave them, the
        // newest step enters, and the frame takes the oldest row's place.
        const std::size_t second = (next_ + 1) % frames_ * blocks_;
        slideWindow(blocks_, sums, absDiffSums, sums_ + (next_ + frames_ - 1) % frames_ * blocks_,
                    sums_ + second, absDiffs_ + second, row, diffRow, meanTravel_.data(),
                    sampleTravel_.data());
        next_ = (next_ + 1) % frames_;
        return;
    }
    // Until then the travels only grow.
    if (held_ > 0) {
        const uint16_t* newest = sums_ + (next_ + frames_ - 1) % frames_ * blocks_;
        for (std::size_t b = 0; b < blocks_; ++b) {
            meanTravel_[b] += std::abs(sums[b] - newest[b]);
            sampleTravel_[b] += absDiffSums[b];
        }
    }
    for (std::size_t b = 0; b < blocks_; ++b) {
        row[b] = static_cast<uint16_t>(sums[b]);
        diffRow[b] = static_cast<uint16_t>(absDiffSums[b]);
    }
    next_ = (next_ + 1) % frames_;
    held_ = std::min(held_ + 1, frames_);
}

void FlickerBlocks::series(std::size_t block, int32_t* out) const {
    for (std::size_t k = 0; k < held_; ++k) out[k] = sums_[rows_[k] + block];
}

bool FlickerBlocks::oscillates(const int32_t* s) {
    // The turns again, with where they were.
    std::size_t turns = 0;
    int direction = 0;
    int32_t extreme = s[0];
    int32_t start = s[0];
    std::size_t extremeAt = 0;
    for (std::size_t k = 1; k < held_; ++k) {
        const std::size_t before = extremeAt;
        const int32_t level = extreme;
        bool turned = false;
        if (turnStep(s[k], kSwingSum, direction, extreme, start, turned)) extremeAt = k;
        if (turned) {
            turnAt_[turns] = before;
            turnLevel_[turns++] = level;
        }
    }
    if (turns < static_cast<std::size_t>(kFlickerMinTurns)) return false;
    int32_t smallest = INT32_MAX;
    int32_t largest = 0;
    for (std::size_t t = 1; t < turns; ++t) {
        const int32_t swing = std::abs(turnLevel_[t] - turnLevel_[t - 1]);
        smallest = std::min(smallest, swing);
        largest = std::max(largest, swing);
    }
    const int32_t edges = std::max(std::abs(turnLevel_[0] - s[0]), std::abs(extreme - turnLevel_[turns - 1]));
    // A steady rhythm: every cycle (from a turn to the next but one) as long as the others,
    // give or take a frame for each of its ends and a quarter of the shortest.
    std::size_t shortest = SIZE_MAX;
    std::size_t longest = 0;
    for (std::size_t t = 2; t < turns; ++t) {
        shortest = std::min(shortest, turnAt_[t] - turnAt_[t - 2]);
        longest = std::max(longest, turnAt_[t] - turnAt_[t - 2]);
    }
    firstTurn_ = turnAt_[0];
    rhythm_ = {static_cast<uint16_t>(turnAt_[0]), static_cast<uint16_t>(turnAt_[turns - 1]),
               static_cast<uint16_t>(turns), static_cast<uint16_t>(longest)};
    return 2 * largest <= 3 * smallest && 2 * edges <= 3 * largest && 4 * (longest - shortest) <= 8 + shortest;
}

bool FlickerBlocks::movesTogether(std::size_t block) const {
    return sampleTravel_[block] > 0 && int64_t{4} * meanTravel_[block] >= int64_t{3} * sampleTravel_[block];
}

bool FlickerBlocks::notCrossedByMotion(uint32_t bx, uint32_t by, const int32_t* s) {
    std::fill(opposedAt_.begin(), opposedAt_.end(), 0);
    int64_t steps = 0;
    for (std::size_t k = 1; k < held_; ++k) steps += std::abs(s[k] - s[k - 1]) >= kSwingSum;
    int64_t opposed = 0;
    for (const auto& offset : kNeighbours) {
        const int64_t x = int64_t{bx} + offset[0];
        const int64_t y = int64_t{by} + offset[1];
        if (x < 0 || y < 0 || x >= blocksW_ || y >= blocksH_) continue;
        series(static_cast<std::size_t>(y) * blocksW_ + static_cast<std::size_t>(x), neighbour_.data());
        const int32_t* n = neighbour_.data();
        int64_t same = 0, earlier = 0, later = 0;
        for (std::size_t k = 1; k < held_; ++k) {
            const int32_t own = s[k] - s[k - 1];
            const int32_t theirs = n[k] - n[k - 1];
            if (std::abs(own) >= kSwingSum && std::abs(theirs) >= kSwingSum && (own < 0) != (theirs < 0) &&
                !opposedAt_[k]) {
                opposedAt_[k] = 1;
                ++opposed;
            }
            // From the first turn on (never before frame 1): the oscillation, not what led to it.
            if (k <= firstTurn_) continue;
            same += int64_t{own} * theirs;
            earlier += int64_t{own} * (n[k - 1] - n[k - 2]);
            if (k + 1 < held_) later += int64_t{own} * (n[k + 1] - n[k]);
        }
        if (std::max(earlier, later) > same) return false;
    }
    return 10 * opposed <= steps;
}

void FlickerBlocks::mark(uint8_t* flickering, FlickerRhythm* rhythms) {
    std::fill(flickering, flickering + blocks_, uint8_t{0});
    if (held_ < 2) return;
    const std::size_t oldest = (next_ + frames_ - held_) % frames_;
    for (std::size_t k = 0; k < held_; ++k) {
        rows_[k] = (oldest + k) % frames_ * blocks_;
        rowStarts_[k] = sums_ + rows_[k];
    }
    // The turns of every block at once: few blocks turn often enough.
    activeKernels().turnCounts(rowStarts_.data(), held_, blocks_, kSwingSum, turns_.data());
    for (uint32_t by = 0; by < blocksH_; ++by) {
        for (uint32_t bx = 0; bx < blocksW_; ++bx) {
            // The cheapest tests first: most blocks are still, or moving, noisy or grainy.
            const std::size_t b = std::size_t{by} * blocksW_ + bx;
            if (turns_[b] < kFlickerMinTurns || !movesTogether(b)) continue;
            series(b, own_.data());
            flickering[b] = oscillates(own_.data()) && notCrossedByMotion(bx, by, own_.data());
            if (flickering[b] && rhythms) rhythms[b] = rhythm_;
        }
    }
}
