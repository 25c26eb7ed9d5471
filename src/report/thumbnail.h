// Small copies of a frame's luma plane, for a report to show.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/image.h"

// Pictures in the report's galleries fit in a square of this side: large enough
// to see a defect, small enough that a page of them stays small.
inline constexpr uint32_t kThumbnailMaxSide = 240;

struct Thumbnail {
    int64_t frame = -1;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> samples;  // width * height, row by row

    // A view for readers of Image (the samples are not written through it).
    Image image() const { return makeImage(width, height, const_cast<uint8_t*>(samples.data())); }
};

// Shrinks pictures of one size by a box filter: each thumbnail sample is the
// rounded mean of the source samples whose box it is. Pictures that fit are
// copied. Buffers are reused, so a warm shrinker does not allocate.
class Shrinker {
public:
    explicit Shrinker(uint32_t maxSide = kThumbnailMaxSide) : maxSide_(maxSide < 1 ? 1 : maxSide) {}
    void shrink(int64_t frame, const Image& luma, Thumbnail& out);

private:
    void prepare(uint64_t width, uint64_t height);
    uint32_t maxSide_;
    uint64_t sourceWidth_ = 0, sourceHeight_ = 0;
    uint32_t width_ = 0, height_ = 0;
    std::vector<uint32_t> columnStart_;  // width_ + 1 source column boundaries
    std::vector<uint32_t> rowStart_;     // height_ + 1 source row boundaries
    std::vector<uint16_t> narrowSums_;   // per source column, the sums of a box's rows
    std::vector<uint32_t> wideSums_;     // the same when a box is too tall for 16 bits
};
