#include "report/thumbnail.h"

#include <algorithm>

namespace {

// Boundaries that cut `source` samples into `parts` boxes of nearly equal size.
void boundaries(uint64_t source, uint32_t parts, std::vector<uint32_t>& out) {
    out.resize(parts + 1);
    for (uint32_t i = 0; i <= parts; ++i) out[i] = static_cast<uint32_t>(source * i / parts);
}

}  // namespace

void Shrinker::prepare(uint64_t width, uint64_t height) {
    if (width == sourceWidth_ && height == sourceHeight_) return;
    sourceWidth_ = width;
    sourceHeight_ = height;
    // Within a square of the limit's side, same aspect ratio, rounded, at least one sample.
    const auto scaled = [](uint64_t side, uint64_t to, uint64_t from) {
        return static_cast<uint32_t>(std::max<uint64_t>(1, (side * to + from / 2) / std::max<uint64_t>(from, 1)));
    };
    if (width >= height) {
        width_ = static_cast<uint32_t>(std::min<uint64_t>(width, kThumbnailMaxSide));
        height_ = scaled(height, width_, width);
    } else {
        height_ = static_cast<uint32_t>(std::min<uint64_t>(height, kThumbnailMaxSide));
        width_ = scaled(width, height_, height);
    }
    boundaries(width, width_, columnStart_);
    boundaries(height, height_, rowStart_);
    sums_.assign(width_, 0);
}

void Shrinker::shrink(int64_t frame, const Image& luma, Thumbnail& out) {
    prepare(luma.w, luma.h);
    out.frame = frame;
    out.width = width_;
    out.height = height_;
    out.samples.resize(std::size_t{width_} * height_);
    for (uint32_t ty = 0; ty < height_; ++ty) {
        std::fill(sums_.begin(), sums_.end(), 0u);
        const uint32_t rows = rowStart_[ty + 1] - rowStart_[ty];
        for (uint32_t y = rowStart_[ty]; y < rowStart_[ty + 1]; ++y) {
            const uint8_t* line = luma.data + uint64_t{y} * luma.w;
            for (uint32_t tx = 0; tx < width_; ++tx)
                for (uint32_t x = columnStart_[tx]; x < columnStart_[tx + 1]; ++x) sums_[tx] += line[x];
        }
        for (uint32_t tx = 0; tx < width_; ++tx) {
            const uint32_t area = rows * (columnStart_[tx + 1] - columnStart_[tx]);
            out.samples[std::size_t{ty} * width_ + tx] = static_cast<uint8_t>((sums_[tx] + area / 2) / area);
        }
    }
}
