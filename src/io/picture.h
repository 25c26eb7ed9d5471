// Whole pictures: the planes of a frame at their own depth, and what the input
// says of them. Every source fills the 8-bit luma the long-standing indicators
// read; the planes only when the run has an indicator that reads them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "tools/image.h"
#include "tools/picture.h"

// How the samples of an input are laid out and what they stand for, by FFmpeg's names.
struct PictureFormat {
    std::string pixelFormat = "yuv420p";  // the input's own ("yuv420p10le", "rgb24", "gray", ...)
    // The planar format its pictures are read as when it is not one itself (RGB, packed, paletted); "" otherwise.
    std::string convertedTo;
    int bitDepth = 8;         // of every plane read
    int planes = 3;           // 1 for grey (4:0:0), else Y, U and V
    int log2ChromaWidth = 1;  // chroma subsampling: 4:2:0 is 1 and 1, 4:4:4 is 0 and 0
    int log2ChromaHeight = 1;
    std::optional<std::string> colorRange;  // "tv", "pc"; empty when the input does not say
    std::optional<std::string> colorMatrix;
    std::optional<std::string> colorTransfer;
    std::optional<std::string> colorPrimaries;
};

// "4:2:0", "4:2:2", "4:4:4", "4:1:1", "4:4:0", "4:1:0", or "4:0:0" for grey.
std::string chromaSubsampling(const PictureFormat& format);

// A planar YUV or grey format FFmpeg names that the program reads without FFmpeg (raw and Y4M
// input): samples of 8 bits in bytes, deeper ones little-endian in 16 bits. Empty for any other.
std::optional<PictureFormat> planarFormat(const std::string& name);

// The same formats by depth and layout; "" when FFmpeg has no name for it.
std::string planarFormatName(int bitDepth, int planes, int log2ChromaWidth, int log2ChromaHeight);

// Bytes of one frame of a planar format at this size, and of its luma plane.
uint64_t planarFrameBytes(const PictureFormat& format, uint32_t width, uint32_t height);
uint64_t planarLumaBytes(const PictureFormat& format, uint32_t width, uint32_t height);

// What keeps a picture's planes alive between reads: each source keeps its own kind in the
// frame, made at its first use and reused, so that no frame allocates once warm.
class PlaneStore {
public:
    virtual ~PlaneStore() = default;
};

// One frame of a run.
struct Frame {
    Image luma{};             // 8-bit luma, contiguous: always filled
    bool wantPlanes = false;  // the run reads `picture` too
    Picture picture;          // filled only when wanted; the planes may be luma's samples
    std::unique_ptr<PlaneStore> store;
};

// The store of kind T in `frame`, made when it holds none or another kind.
template <typename T>
T& planeStoreOf(Frame& frame) {
    auto* store = dynamic_cast<T*>(frame.store.get());
    if (store == nullptr) {
        frame.store = std::make_unique<T>();
        store = static_cast<T*>(frame.store.get());
    }
    return *store;
}

// Planes a source owns, each a buffer of whole rows without gaps.
class PlaneBuffers final : public PlaneStore {
public:
    // Sizes the buffers for `format` at this size (allocating only when they grow) and points
    // `picture` at them; with `lumaInFrame`, 8-bit luma is `luma`'s own samples.
    void prepare(const PictureFormat& format, uint32_t width, uint32_t height, Picture& picture,
                 const Image* lumaInFrame);
    uint8_t* plane(int index) { return buffers_[static_cast<std::size_t>(index)].get(); }

private:
    std::array<std::unique_ptr<uint8_t[]>, 3> buffers_;
    std::array<std::size_t, 3> sizes_{};
};

// What `format` says its samples stand for, on every picture of a run: the range it states
// (narrow when it does not), and its matrix, or when it names none, BT.601's for pictures
// of standard definition (up to 576 lines) and BT.709's for larger ones.
void describeColour(const PictureFormat& format, uint32_t height, Picture& picture);

// The 8 most significant bits of `count` samples of `depth` bits (v >> (depth - 8), saturated
// above 255 for samples out of their range): how the luma of deeper input is measured.
void deepToEightBits(const uint16_t* in, uint8_t* out, std::size_t count, int depth);
