#include "library/pushed_frames.h"

#include <algorithm>
#include <cstring>

PushedFrames::PushedFrames(uint32_t width, uint32_t height, int bitDepth, int log2ChromaWidth, int log2ChromaHeight) {
    info_.format = "frames";
    info_.width = width;
    info_.height = height;
    info_.bitDepth = bitDepth;
    info_.picture.bitDepth = bitDepth;
    info_.picture.log2ChromaWidth = log2ChromaWidth;
    info_.picture.log2ChromaHeight = log2ChromaHeight;
    info_.picture.pixelFormat = planarFormatName(bitDepth, 3, log2ChromaWidth, log2ChromaHeight);
}

ReadResult PushedFrames::readFrame(int64_t /*index*/, Frame& frame) {
    std::unique_lock lock(mutex_);
    asking_ = true;
    changed_.notify_all();
    changed_.wait(lock, [&] { return offered_ != nullptr || closed_; });
    asking_ = false;
    ReadResult result;
    if (offered_ == nullptr) {
        result.status = ReadResult::End;
        return result;
    }
    copy(frame);
    offered_ = nullptr;
    changed_.notify_all();
    return result;
}

void PushedFrames::copy(Frame& frame) const {
    const PushedPlanes& offered = *offered_;
    Image& luma = frame.luma;
    const auto* base = static_cast<const unsigned char*>(offered.data[0]);
    const std::size_t width = luma.w;
    for (std::size_t y = 0; y < luma.h; ++y) {
        const unsigned char* row = base + static_cast<std::ptrdiff_t>(y) * offered.strides[0];
        uint8_t* out = luma.data + y * width;
        if (!offered.wide) {
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
    frame.picture.planeCount = 0;
    if (!frame.wantPlanes || offered.count < 3) return;
    // The caller may reuse its planes once the push returns: those read later are copied.
    PlaneBuffers& buffers = planeStoreOf<PlaneBuffers>(frame);
    buffers.prepare(info_.picture, info_.width, info_.height, frame.picture, offered.wide ? nullptr : &luma);
    for (int p = offered.wide ? 0 : 1; p < 3; ++p) {
        const SamplePlane& plane = frame.picture.planes[static_cast<std::size_t>(p)];
        const auto* from = static_cast<const unsigned char*>(offered.data[p]);
        for (uint32_t y = 0; y < plane.height; ++y)
            std::memcpy(buffers.plane(p) + static_cast<std::ptrdiff_t>(y) * plane.stride,
                        from + static_cast<std::ptrdiff_t>(y) * offered.strides[p],
                        static_cast<std::size_t>(plane.stride));
    }
}

bool PushedFrames::offer(const PushedPlanes& planes) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return asking_ || stopped_; });
    if (stopped_) return false;
    offered_ = &planes;
    changed_.notify_all();
    changed_.wait(lock, [&] { return (offered_ == nullptr && asking_) || stopped_; });
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
    offered_ = nullptr;
    changed_.notify_all();
}
