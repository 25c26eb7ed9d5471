// Y4M input: a "YUV4MPEG2 " stream header, then frames that each start with
// a "FRAME" line. Samples of more than 8 bits are 16-bit little-endian; the
// 8-bit luma holds their 8 most significant bits. The chroma planes are read
// only when the run reads the planes, and an alpha plane never.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "io/frame_source.h"
#include "io/input_probe.h"
#include "io/stream_reader.h"

struct Y4mFormat {
    uint32_t width = 0;
    uint32_t height = 0;
    std::optional<double> fps;
    int bitDepth = 8;
    PictureFormat picture;     // from the C tag (or FFmpeg's XYSCSS when there is none) and XCOLORRANGE
    uint64_t lumaBytes = 0;    // one frame's luma plane in the file
    uint64_t frameBytes = 0;   // every plane of one frame, without its FRAME line
};

// Reads the tags of a stream header line (without its newline). Returns an
// empty string, or what is wrong with it.
std::string parseY4mHeader(const std::string& line, Y4mFormat& format);

class Y4mSource : public FrameSource {
public:
    // Reads the stream header from `stream`; `name` says where it comes from in messages.
    static std::variant<std::unique_ptr<Y4mSource>, std::string> open(std::unique_ptr<ByteStream> stream,
                                                                       const std::string& name);

    const SourceInfo& info() const override { return info_; }
    ReadResult readFrame(int64_t index, Frame& frame) override;

    Y4mSource(std::unique_ptr<ByteStream> stream, std::string name, const Y4mFormat& format);

private:
    enum class Line { Read, End, Truncated, TooLong };
    Line readLine(std::string& line);
    ReadResult failure(const std::string& message) const;
    ReadResult readError(const std::string& what) const;
    static ReadResult ended();
    ReadResult truncated(uint64_t got) const;
    // Leaves the stream at the FRAME line of frame `index`.
    ReadResult moveTo(int64_t index);
    // Reads one FRAME line; `index` is the frame it starts.
    ReadResult readMarker(int64_t index);
    void readLuma(Image& luma, uint64_t& got);
    void readPlanes(Frame& frame, uint64_t& got);
    static void toNativeOrder(uint8_t* samples, std::size_t bytes);

    std::unique_ptr<ByteStream> stream_;
    std::string name_;
    Y4mFormat format_;
    SourceInfo info_;
    uint64_t dataStart_ = 0;  // where the first FRAME line begins
    uint64_t frameStride_ = 0;  // a FRAME line and its planes, as the first frame has them; 0 before it is seen
    int64_t next_ = 0;        // the frame whose FRAME line is next in the stream
    std::string line_;
    std::vector<uint8_t> row_;  // one row of 16-bit samples
    uint64_t chromaBytes_ = 0;  // of each chroma plane in the file
};

// Y4M as an input kind (io/input_kinds.h): known by its first bytes.
Recognition recogniseY4m(const InputProbe& probe);
OpenedSource openY4mInput(const OpenRequest& request, std::unique_ptr<ByteStream> stream);
