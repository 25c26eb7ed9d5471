// Raw planar YUV (or grey) frames without a header, of any planar format the
// program knows by FFmpeg's name (yuv420p unless told): the luma plane of each
// frame is read at frame index * frameSize, the chroma planes after it only
// when the run reads the planes. Deeper samples are 16-bit little-endian.
//
// A frame of which only part could be read (the end of the input) keeps, for
// the bytes it could not read, the bytes of the frame two places before it in
// the run, or zeros when that frame lies before the run's first. This is what
// a reader that alternates between two zero-filled buffers shows, and the
// source produces it whatever number of buffers its caller cycles through.
// Input that cannot seek (a pipe) is read forward, skipping what lies between.
#pragma once

#include <vector>

#include "io/frame_source.h"
#include "io/input_probe.h"
#include "io/stream_reader.h"

class RawSource final : public FrameSource {
public:
    // `frameSize` is the bytes of one whole frame. With `stopAtEnd`, the end of
    // the input ends the run (a partial last frame is reported and not
    // measured) instead of giving frames that a short read leaves.
    RawSource(ByteStream& video, uint32_t width, uint32_t height, int64_t frameSize,
              std::optional<int64_t> frameCount, bool stopAtEnd = false,
              const PictureFormat& format = PictureFormat{});
    // The same over a stream it keeps.
    RawSource(std::unique_ptr<ByteStream> video, uint32_t width, uint32_t height, int64_t frameSize,
              std::optional<int64_t> frameCount, bool stopAtEnd, const PictureFormat& format);

    const SourceInfo& info() const override { return info_; }
    ReadResult readFrame(int64_t index, Frame& frame) override;

private:
    // The bytes [from, to) of a frame's luma plane come from the file at `offset`.
    struct Piece {
        int64_t offset;
        std::size_t from;
        std::size_t to;
    };
    using Layout = std::vector<Piece>;  // bytes outside every piece are zero

    ReadResult readAt(int64_t offset, uint8_t* into, std::size_t bytes);
    ReadResult readForward(int64_t offset, uint8_t* into, std::size_t bytes);
    bool fillFromLayout(const Layout& layout, std::size_t from, uint8_t* into);
    void keepLayout(Layout& layout, int64_t offset, std::size_t bytesRead);
    ReadResult readLumaBytes(int64_t index, uint8_t* into, Frame* chromaInto);
    // The chroma planes after a luma plane just read; what the input lacks reads as zeros.
    ReadResult readChroma(int64_t offset, Frame& frame);

    std::unique_ptr<ByteStream> owned_;  // when the source keeps its stream
    ByteStream& video_;
    SourceInfo info_;
    int64_t frameSize_;
    std::size_t lumaSize_;
    bool stopAtEnd_;
    // Seekable input: where each byte of the last two frames came from, by the
    // parity of the frame index. Other input: the last two frames' bytes.
    Layout layouts_[2];
    std::vector<uint8_t> kept_[2];
    std::vector<uint8_t> deep_;  // a deep luma plane, when the planes are not wanted
};

// Raw YUV as an input kind (io/input_kinds.h): by its extension (.yuv, .raw) or, with a size
// given, from a pipe; and otherwise, with a size given, what no other kind recognises.
Recognition recogniseRawByName(const InputProbe& probe);
Recognition recogniseRawOtherwise(const InputProbe& probe);
OpenedSource openRawInput(const OpenRequest& request, std::unique_ptr<ByteStream> stream);
