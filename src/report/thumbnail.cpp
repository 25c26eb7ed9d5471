#include "report/thumbnail.h"

#include <algorithm>
#include <limits>

namespace {

// Boundaries that cut `source` samples into `parts` boxes of nearly equal size.
void boundaries(uint64_t source, uint32_t parts, std::vector<uint32_t>& out) {
    out.resize(parts + 1);
    for (uint32_t i = 0; i <= parts; ++i) out[i] = static_cast<uint32_t>(source * i / parts);
}

// One row of thumbnail samples from the source rows [y0, y1): the rows are
// first summed per source column, whole lines at a time so that the compiler
// vectorises the additions, then each box's columns are summed.
template <typename Sum>
void shrinkRow(const Image& luma, uint32_t y0, uint32_t y1, const std::vector<uint32_t>& columnStart,
               std::vector<Sum>& sums, uint8_t* out) {
    const std::size_t w = luma.w;
    std::fill(sums.begin(), sums.end(), Sum{0});
    Sum* s = sums.data();
    for (uint32_t y = y0; y < y1; ++y) {
        const uint8_t* line = luma.data + uint64_t{y} * w;
        for (std::size_t x = 0; x < w; ++x) s[x] = static_cast<Sum>(s[x] + line[x]);
    }
    const std::size_t columns = columnStart.size() - 1;
    for (std::size_t tx = 0; tx < columns; ++tx) {
        uint64_t total = 0;
        for (uint32_t x = columnStart[tx]; x < columnStart[tx + 1]; ++x) total += s[x];
        const uint64_t area = uint64_t{y1 - y0} * (columnStart[tx + 1] - columnStart[tx]);
        out[tx] = static_cast<uint8_t>((total + area / 2) / area);
    }
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
        width_ = static_cast<uint32_t>(std::min<uint64_t>(width, maxSide_));
        height_ = scaled(height, width_, width);
    } else {
        height_ = static_cast<uint32_t>(std::min<uint64_t>(height, maxSide_));
        width_ = scaled(width, height_, height);
    }
    boundaries(width, width_, columnStart_);
    boundaries(height, height_, rowStart_);
    // A box of up to 257 rows of 255 sums in 16 bits, twice as many columns a step.
    const uint64_t tallest = (height + height_ - 1) / height_;
    const bool narrow = tallest * 255 <= std::numeric_limits<uint16_t>::max();
    narrowSums_.assign(narrow ? width : 0, 0);
    wideSums_.assign(narrow ? 0 : width, 0);
}

void Shrinker::shrink(int64_t frame, const Image& luma, Thumbnail& out) {
    prepare(luma.w, luma.h);
    out.frame = frame;
    out.width = width_;
    out.height = height_;
    out.samples.resize(std::size_t{width_} * height_);
    for (uint32_t ty = 0; ty < height_; ++ty) {
        uint8_t* row = out.samples.data() + std::size_t{ty} * width_;
        if (!narrowSums_.empty())
            shrinkRow(luma, rowStart_[ty], rowStart_[ty + 1], columnStart_, narrowSums_, row);
        else
            shrinkRow(luma, rowStart_[ty], rowStart_[ty + 1], columnStart_, wideSums_, row);
    }
}
