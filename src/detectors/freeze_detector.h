// Freeze: a picture that stays within a noise-aware limit of the first frame of its
// stretch, for at least a few frames. Pictures are compared by the mean levels of their
// 16x16 blocks, in which film grain averages out, against the stretch's first frame, so
// that a slow drift adds up and ends the stretch instead of hiding in small steps.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

struct FreezeRule {
    int minFrames = 3;            // frames of one picture that make a freeze (a repeat, or drawing on twos, is none)
    double largestMove = 3.0;     // levels any block's mean may move
    double meanMove = 0.5;        // levels the blocks' means may move on average
    double drift = 0.25;          // levels the picture's mean may move: grain keeps it, a drift moves it
};

class FreezeDetector {
public:
    FreezeDetector(uint32_t width, uint32_t height, FreezeRule rule = {});
    // The means of a frame's 16x16 blocks (x 256), from its 8x8 block sums; on any thread.
    void blockMeans(const int32_t* sums8, std::vector<int32_t>& out) const;
    std::size_t blocks() const { return blocksX_ * blocksY_; }
    // In frame order: the frame's block means, and whether the frame can be no freeze
    // (black, a flat colour). Returns the first frame of the freeze the frame is part of.
    std::optional<int64_t> feed(int64_t frame, const std::vector<int32_t>& means, bool excluded);

private:
    FreezeRule rule_;
    uint32_t sumsX_;       // 8x8 blocks across
    std::size_t blocksX_, blocksY_;
    std::vector<int32_t> reference_;  // block sums of the stretch's first frame
    int64_t start_ = -1;              // the stretch's first frame; -1: none
    int64_t last_ = -1;
};
