// Small copies of a frame's luma plane, for a report to show.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/image.h"

// Thumbnails fit in a square of this side, so that a page of them stays small.
inline constexpr uint32_t kThumbnailMaxSide = 320;

struct Thumbnail {
    int64_t frame = -1;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> samples;  // width * height, row by row

    // A view for readers of Image (the samples are not written through it).
    Image image() const { return makeImage(width, height, const_cast<uint8_t*>(samples.data())); }
};

// Shrinks pictures of one size by a box filter: each thumbnail sample is the
// rounded mean of the source samples whose box it is. Pictures that fit are copied. Buffers are reused, so a warm shrinker does not allocate.
class Shrinker {
public:
    void shrink(int64_t frame, const Image& luma, Thumbnail& out);

private:
    void prepare(uint64_t width, uint64_t height);
    uint64_t sourceWidth_ = 0, sourceHeight_ = 0;
    uint32_t width_ = 0, height_ = 0;
    std::vector<uint32_t> columnStart_;  // width_ + 1 source column boundaries
    std::vector<uint32_t> rowStart_;     // height_ + 1 source row boundaries
    std::vector<uint32_t> sums_;
};
