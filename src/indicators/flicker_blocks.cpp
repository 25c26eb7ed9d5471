#include "indicators/flicker_blocks.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdlib>

namespace {

// Sums of 64 samples: a swing of kFlickerSwing levels of the block's mean.
constexpr int32_t kSwingSum = kFlickerSwing * 64;

constexpr int kNeighbours[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};

}  // namespace

FlickerBlocks::FlickerBlocks(uint32_t blocksW, uint32_t blocksH, std::size_t frames)
    : blocksW_(blocksW),
      blocksH_(blocksH),
      frames_(std::max<std::size_t>(frames, 2)),
      sums_(std::size_t{blocksW} * blocksH * frames_),
      absDiffs_(sums_.size()),
      own_(frames_),
      neighbour_(frames_),
      turnAt_(frames_),
      turnLevel_(frames_),
      opposedAt_(frames_) {}

void FlickerBlocks::add(const int32_t* sums, const int32_t* absDiffSums) {
    const std::size_t blocks = std::size_t{blocksW_} * blocksH_;
    for (std::size_t b = 0; b < blocks; ++b) {
        sums_[b * frames_ + next_] = static_cast<uint16_t>(sums[b]);
        absDiffs_[b * frames_ + next_] = static_cast<uint16_t>(absDiffSums[b]);
    }
    next_ = (next_ + 1) % frames_;
    held_ = std::min(held_ + 1, frames_);
}

void FlickerBlocks::series(uint32_t bx, uint32_t by, int32_t* out) const {
    const uint16_t* ring = &sums_[(std::size_t{by} * blocksW_ + bx) * frames_];
    const std::size_t oldest = (next_ + frames_ - held_) % frames_;
    for (std::size_t k = 0; k < held_; ++k) out[k] = ring[(oldest + k) % frames_];
}

bool FlickerBlocks::oscillates(const int32_t* s) {
    // Turns counted afresh from the oldest sum: the first swing only sets the direction. A
    // turn takes a move back of half the swing before it, so that a wobble after a swing is
    // no turn.
    std::size_t turns = 0;
    int direction = 0;  // +1 rising, -1 falling, 0 not yet moved by a swing
    int32_t extreme = s[0];
    std::size_t extremeAt = 0;
    int32_t start = s[0];  // where the move to `extreme` started
    for (std::size_t k = 1; k < held_; ++k) {
        const int32_t level = s[k];
        if (direction * (level - extreme) > 0) {
            extreme = level;
            extremeAt = k;
        } else if (std::abs(level - extreme) >= std::max(kSwingSum, std::abs(extreme - start) / 2)) {
            if (direction != 0) {
                turnAt_[turns] = extremeAt;
                turnLevel_[turns++] = extreme;
            }
            direction = level > extreme ? 1 : -1;
            start = extreme;
            extreme = level;
            extremeAt = k;
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
    return 2 * largest <= 3 * smallest && 2 * edges <= 3 * largest && 4 * (longest - shortest) <= 8 + shortest;
}

bool FlickerBlocks::movesTogether(uint32_t bx, uint32_t by, const int32_t* s) const {
    const uint16_t* ring = &absDiffs_[(std::size_t{by} * blocksW_ + bx) * frames_];
    const std::size_t oldest = (next_ + frames_ - held_) % frames_;
    int64_t meanTravel = 0;
    int64_t sampleTravel = 0;
    // The oldest frame's difference is from a frame no longer held.
    for (std::size_t k = 1; k < held_; ++k) {
        meanTravel += std::abs(s[k] - s[k - 1]);
        sampleTravel += ring[(oldest + k) % frames_];
    }
    return sampleTravel > 0 && 4 * meanTravel >= 3 * sampleTravel;
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
        series(static_cast<uint32_t>(x), static_cast<uint32_t>(y), neighbour_.data());
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

bool FlickerBlocks::flickers(uint32_t bx, uint32_t by) {
    assert(bx < blocksW_ && by < blocksH_);
    if (held_ < 2) return false;
    series(bx, by, own_.data());
    return oscillates(own_.data()) && movesTogether(bx, by, own_.data()) &&
           notCrossedByMotion(bx, by, own_.data());
}
