#include "detectors/freeze_detector.h"

#include <algorithm>
#include <cstdlib>

FreezeDetector::FreezeDetector(uint32_t width, uint32_t height, FreezeRule rule)
    : rule_(rule), sumsX_(width / 8), blocksX_(width / 16), blocksY_(height / 16), reference_(blocksX_ * blocksY_) {}

void FreezeDetector::blockMeans(const int32_t* sums8, std::vector<int32_t>& out) const {
    out.resize(blocks());
    for (std::size_t y = 0; y < blocksY_; ++y)
        for (std::size_t x = 0; x < blocksX_; ++x) {
            const int32_t* a = sums8 + 2 * y * sumsX_ + 2 * x;
            const int32_t* b = a + sumsX_;
            out[y * blocksX_ + x] = a[0] + a[1] + b[0] + b[1];
        }
}

std::optional<int64_t> FreezeDetector::feed(int64_t frame, const std::vector<int32_t>& means, bool excluded) {
    const bool follows = last_ >= 0 && frame == last_ + 1;
    last_ = frame;
    if (excluded || means.empty()) {
        start_ = -1;
        return std::nullopt;
    }
    bool still = follows && start_ >= 0;
    if (still) {
        int64_t largest = 0, total = 0, signedTotal = 0;
        for (std::size_t i = 0; i < means.size(); ++i) {
            const int64_t step = static_cast<int64_t>(means[i]) - reference_[i];
            const int64_t move = std::llabs(step);
            largest = std::max(largest, move);
            total += move;
            signedTotal += step;
        }
        const double blocks = 256.0 * static_cast<double>(means.size());
        still = static_cast<double>(largest) <= rule_.largestMove * 256 &&
                static_cast<double>(total) <= rule_.meanMove * blocks &&
                static_cast<double>(std::llabs(signedTotal)) <= rule_.drift * blocks;
    }
    if (!still) {
        reference_ = means;
        start_ = frame;
        return std::nullopt;
    }
    return frame - start_ + 1 >= rule_.minFrames ? std::optional(start_) : std::nullopt;
}
