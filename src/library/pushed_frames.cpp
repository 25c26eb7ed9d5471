#include "library/pushed_frames.h"

#include <algorithm>
#include <cstring>

PushedFrames::PushedFrames(uint32_t width, uint32_t height, int bitDepth) {
    info_.format = "frames";
    info_.width = width;
    info_.height = height;
    info_.bitDepth = bitDepth;
}

ReadResult PushedFrames::read(int64_t /*index*/, Image& luma) {
    std::unique_lock lock(mutex_);
    asking_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return plane_ != nullptr || closed_; });
    asking_ = false;
    ReadResult result;
    if (plane_ == nullptr) {
        result.status = ReadResult::End;
        return result;
    }
    copy(luma);
    plane_ = nullptr;
    changed_.notify_all();
    return result;
}

void PushedFrames::copy(Image& luma) const {
    const auto* base = static_cast<const unsigned char*>(plane_);
    const std::size_t width = luma.w;
    for (std::size_t y = 0; y < luma.h; ++y) {
        const unsigned char* row = base + static_cast<std::ptrdiff_t>(y) * stride_;
        uint8_t* out = luma.data + y * width;
        if (!wide_) {
            std::memcpy(out, row, width);
            continue;
        }
        // As for deeper input files: the 8 most significant bits, out-of-range samples saturated.
        const int shift = info_.bitDepth - 8;
        for (std::size_t x = 0; x < width; ++x) {
            uint16_t v;
            std::memcpy(&v, row + 2 * x, sizeof v);
            out[x] = static_cast<uint8_t>(std::min(unsigned{v} >> shift, 255u));
        }
    }
}

bool PushedFrames::offer(const void* plane, std::ptrdiff_t strideBytes, bool wide) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return asking_ || stopped_; });
    if (stopped_) return false;
    plane_ = plane;
    stride_ = strideBytes;
    wide_ = wide;
    changed_.notify_all();
    changed_.wait(lock, [&] { return (plane_ == nullptr && asking_) || stopped_; });
    return true;
}

void PushedFrames::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

void PushedFrames::stopped() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    plane_ = nullptr;
    changed_.notify_all();
}
