#include "io/y4m_source.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sstream>

namespace {

const std::string kMagic = "YUV4MPEG2 ";
constexpr std::size_t kMaxLine = 4096;     // header lines longer than this are not Y4M
constexpr uint64_t kMaxSide = 1 << 20;     // keeps every frame size far from overflowing

bool parseNumber(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 10) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value <= limit;
}

struct Chroma {
    int planes = 2;       // besides luma: 0 for mono, 3 with alpha
    uint64_t xDivisor = 2;
    uint64_t yDivisor = 2;
    int bitDepth = 8;
};

// "420jpeg", "422", "mono", "444p10", "mono16", ...; false when unknown.
bool parseChroma(const std::string& text, Chroma& chroma) {
    static const struct {
        const char* prefix;
        Chroma chroma;
    } kinds[] = {{"420", {2, 2, 2, 8}}, {"422", {2, 2, 1, 8}}, {"444", {2, 1, 1, 8}},
                 {"411", {2, 4, 1, 8}}, {"440", {2, 1, 2, 8}}, {"mono", {0, 1, 1, 8}}};
    for (const auto& kind : kinds) {
        const std::string prefix = kind.prefix;
        if (text.compare(0, prefix.size(), prefix) != 0) continue;
        chroma = kind.chroma;
        std::string rest = text.substr(prefix.size());
        if (rest.empty() || (prefix == "420" && (rest == "jpeg" || rest == "mpeg2" || rest == "paldv"))) return true;
        if (prefix == "444" && rest == "alpha") {
            chroma.planes = 3;
            return true;
        }
        if (prefix != "mono") {
            if (rest[0] != 'p') return false;
            rest.erase(0, 1);
        }
        uint64_t depth = 0;
        if (!parseNumber(rest, 16, depth) || depth < 9) return false;
        chroma.bitDepth = static_cast<int>(depth);
        return true;
    }
    return false;
}

PictureFormat pictureOf(const Chroma& chroma) {
    const int log2Width = chroma.xDivisor == 4 ? 2 : chroma.xDivisor == 2 ? 1 : 0;
    const int log2Height = chroma.yDivisor == 2 ? 1 : 0;
    PictureFormat format;
    format.bitDepth = chroma.bitDepth;
    format.planes = chroma.planes == 0 ? 1 : 3;
    format.log2ChromaWidth = format.planes == 1 ? 0 : log2Width;
    format.log2ChromaHeight = format.planes == 1 ? 0 : log2Height;
    format.pixelFormat =
        planarFormatName(format.bitDepth, format.planes, format.log2ChromaWidth, format.log2ChromaHeight);
    if (chroma.planes == 3) format.pixelFormat.insert(3, "a");  // "yuva444p": the alpha plane is not read
    return format;
}

std::string lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// "F30000:1001"; false when malformed, no rate when either part is zero.
bool parseRate(const std::string& text, std::optional<double>& fps) {
    const std::size_t colon = text.find(':');
    uint64_t num = 0, den = 0;
    if (colon == std::string::npos || !parseNumber(text.substr(0, colon), UINT32_MAX, num) ||
        !parseNumber(text.substr(colon + 1), UINT32_MAX, den))
        return false;
    fps.reset();
    if (num > 0 && den > 0) fps = static_cast<double>(num) / static_cast<double>(den);
    return true;
}

bool isFrameMarker(const std::string& line) {
    return line.compare(0, 5, "FRAME") == 0 && (line.size() == 5 || line[5] == ' ');
}

}  // namespace

std::string parseY4mHeader(const std::string& line, Y4mFormat& format) {
    if (line.compare(0, kMagic.size(), kMagic) != 0) return "it does not start with \"YUV4MPEG2 \"";
    uint64_t width = 0, height = 0;
    Chroma chroma;
    bool chromaTag = false;
    std::optional<std::string> range;
    std::istringstream tags(line.substr(kMagic.size()));
    std::string tag;
    while (tags >> tag) {
        const std::string value = tag.substr(1);
        switch (tag[0]) {
            case 'W':
            case 'H':
                if (!parseNumber(value, kMaxSide, tag[0] == 'W' ? width : height) ||
                    (tag[0] == 'W' ? width : height) == 0)
                    return "invalid frame " + std::string(tag[0] == 'W' ? "width" : "height") + " \"" + tag +
                           "\" (expected 1 to " + std::to_string(kMaxSide) + ")";
                break;
            case 'F':
                if (!parseRate(value, format.fps)) return "invalid frame rate \"" + tag + "\"";
                break;
            case 'C':
                if (!parseChroma(value, chroma)) return "unknown colour space \"" + tag + "\"";
                chromaTag = true;
                break;
            case 'X':
                // Extensions FFmpeg writes: the layout again (used when there is no C tag) and the range.
                if (value.compare(0, 6, "YSCSS=") == 0 && !chromaTag) {
                    if (!parseChroma(lowered(value.substr(6)), chroma))
                        return "unknown colour space \"" + tag + "\"";
                } else if (value == "COLORRANGE=FULL") {
                    range = "pc";
                } else if (value == "COLORRANGE=LIMITED") {
                    range = "tv";
                }
                break;
            default:  // interlacing, aspect ratio, extensions: nothing to measure
                break;
        }
    }
    if (width == 0) return "the header has no width (W)";
    if (height == 0) return "the header has no height (H)";
    format.width = static_cast<uint32_t>(width);
    format.height = static_cast<uint32_t>(height);
    format.bitDepth = chroma.bitDepth;
    format.picture = pictureOf(chroma);
    format.picture.colorRange = range;
    const uint64_t sampleBytes = chroma.bitDepth > 8 ? 2 : 1;
    const uint64_t chromaSamples =
        ((width + chroma.xDivisor - 1) / chroma.xDivisor) * ((height + chroma.yDivisor - 1) / chroma.yDivisor);
    format.lumaBytes = width * height * sampleBytes;
    format.frameBytes = format.lumaBytes + static_cast<uint64_t>(chroma.planes) * chromaSamples * sampleBytes;
    return {};
}

std::variant<std::unique_ptr<Y4mSource>, std::string> Y4mSource::open(std::unique_ptr<ByteStream> stream,
                                                                       const std::string& name) {
    std::string header;
    for (int c; header.size() <= kMaxLine && (c = stream->get()) != '\n';) {
        if (c == EOF) {
            if (stream->error() != 0) return "Could not read " + name + ": " + strerror(stream->error());
            return "Invalid Y4M input " + name + ": the header has no end of line";
        }
        header.push_back(static_cast<char>(c));
    }
    if (header.size() > kMaxLine)
        return "Invalid Y4M input " + name + ": the header is longer than " + std::to_string(kMaxLine) + " bytes";
    Y4mFormat format;
    const std::string problem = parseY4mHeader(header, format);
    if (!problem.empty()) return "Invalid Y4M input " + name + ": " + problem;
    return std::make_unique<Y4mSource>(std::move(stream), name, format);
}

Y4mSource::Y4mSource(std::unique_ptr<ByteStream> stream, std::string name, const Y4mFormat& format)
    : stream_(std::move(stream)), name_(std::move(name)), format_(format) {
    info_.format = "y4m";
    info_.width = format.width;
    info_.height = format.height;
    info_.fps = format.fps;
    info_.bitDepth = format.bitDepth;
    info_.picture = format.picture;
    if (format.picture.planes == 3)
        chromaBytes_ = (planarFrameBytes(format.picture, format.width, format.height) - format.lumaBytes) / 2;
    dataStart_ = stream_->position();
    if (format.bitDepth > 8) row_.resize(2 * static_cast<std::size_t>(format.width));
    if (!stream_->seekable()) return;
    // On a file the first FRAME line fixes where every later frame begins, and
    // without tags on it the file's length gives the frame count.
    const std::optional<uint64_t> length = stream_->length();
    if (readLine(line_) == Line::Read && isFrameMarker(line_))
        frameStride_ = stream_->position() - dataStart_ + format.frameBytes;
    const bool plain = frameStride_ > 0 && line_ == "FRAME";
    stream_->seek(dataStart_);
    if (length && *length == dataStart_) info_.frameCount = 0;
    // A file that ends inside a frame leaves the count open, so that reading reaches the cut and reports it.
    if (length && plain && (*length - dataStart_) % frameStride_ == 0)
        info_.frameCount = static_cast<int64_t>((*length - dataStart_) / frameStride_);
}

Y4mSource::Line Y4mSource::readLine(std::string& line) {
    line.clear();
    for (int c; (c = stream_->get()) != '\n';) {
        if (c == EOF) return line.empty() ? Line::End : Line::Truncated;
        if (line.size() == kMaxLine) return Line::TooLong;
        line.push_back(static_cast<char>(c));
    }
    return Line::Read;
}

ReadResult Y4mSource::failure(const std::string& message) const {
    ReadResult result;
    result.status = ReadResult::Error;
    result.message = message;
    return result;
}

ReadResult Y4mSource::readError(const std::string& what) const {
    ReadResult result = failure("Could not read " + what + " of " + name_ + ": " + strerror(stream_->error()));
    result.error = stream_->error();
    return result;
}

ReadResult Y4mSource::ended() {
    ReadResult result;
    result.status = ReadResult::End;
    return result;
}

ReadResult Y4mSource::truncated(uint64_t got) const {
    fprintf(stderr, "frameprobe: the last frame of %s is truncated (%llu of %llu bytes); it is not measured\n",
            name_.c_str(), static_cast<unsigned long long>(got),
            static_cast<unsigned long long>(format_.frameBytes));
    return ended();
}

ReadResult Y4mSource::readMarker(int64_t index) {
    const Line read = readLine(line_);
    if (read == Line::Read && isFrameMarker(line_)) return ReadResult{};
    // Words for the message are only made when something is wrong.
    const std::string frame = "frame " + std::to_string(index);
    if (stream_->error() != 0) return readError(frame);
    switch (read) {
        case Line::End:
            return ended();
        case Line::Truncated:
            return truncated(0);
        case Line::TooLong:
            // Frame data where a FRAME line belongs has no end of line either.
            if (!isFrameMarker(line_)) break;
            return failure("Invalid Y4M input " + name_ + ": the FRAME line of " + frame + " is longer than " +
                           std::to_string(kMaxLine) + " bytes");
        case Line::Read:
            break;
    }
    return failure("Invalid Y4M input " + name_ + ": " + frame + " does not start with a FRAME line");
}

ReadResult Y4mSource::moveTo(int64_t index) {
    if (index == next_) return ReadResult{};
    if (stream_->seekable()) {
        const uint64_t back = stream_->position();
        const bool reachable =
            frameStride_ > 0 && static_cast<uint64_t>(index) <= (INT64_MAX - dataStart_) / frameStride_;
        const uint64_t target = reachable ? dataStart_ + static_cast<uint64_t>(index) * frameStride_ : 0;
        // Land where the first frame's size puts the frame, and trust it only when a FRAME line is there.
        if (reachable && stream_->seek(target) && readLine(line_) == Line::Read && isFrameMarker(line_) &&
            stream_->seek(target)) {
            next_ = index;
            return ReadResult{};
        }
        if (index < next_) {
            next_ = 0;
            stream_->seek(dataStart_);
        } else {
            stream_->seek(back);
        }
        if (stream_->error() != 0) return readError("frame " + std::to_string(index));
    }
    if (index < next_)
        return failure("Cannot go back to frame " + std::to_string(index) + " of " + name_ + ": it is read forward");
    for (; next_ < index; ++next_) {
        ReadResult marker = readMarker(next_);
        if (marker.status != ReadResult::Frame) return marker;
        const uint64_t skipped = stream_->skip(format_.frameBytes);
        if (stream_->error() != 0) return readError("frame " + std::to_string(next_));
        if (skipped < format_.frameBytes) return truncated(skipped);
    }
    return ReadResult{};
}

void Y4mSource::readLuma(Image& luma, uint64_t& got) {
    if (format_.bitDepth == 8) {
        got = stream_->read(luma.data, static_cast<std::size_t>(format_.lumaBytes));
        return;
    }
    uint8_t* out = luma.data;
    for (uint32_t y = 0; y < format_.height; ++y) {
        const std::size_t n = stream_->read(row_.data(), row_.size());
        got += n;
        if (n < row_.size()) break;
        toNativeOrder(row_.data(), row_.size());
        deepToEightBits(reinterpret_cast<const uint16_t*>(row_.data()), out, format_.width, format_.bitDepth);
        out += format_.width;
    }
}

void Y4mSource::toNativeOrder(uint8_t* samples, std::size_t bytes) {
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = 0; i + 1 < bytes; i += 2) std::swap(samples[i], samples[i + 1]);
}

void Y4mSource::readPlanes(Frame& frame, uint64_t& got) {
    auto& buffers = planeStoreOf<PlaneBuffers>(frame);
    buffers.prepare(format_.picture, format_.width, format_.height, frame.picture, &frame.luma);
    Picture& picture = frame.picture;
    if (format_.bitDepth == 8) {
        got = stream_->read(frame.luma.data, static_cast<std::size_t>(format_.lumaBytes));
    } else {
        // The deep plane is read whole; the 8-bit luma is made from it.
        auto* samples = buffers.plane(0);
        got = stream_->read(samples, static_cast<std::size_t>(format_.lumaBytes));
        if (got < format_.lumaBytes) return;
        toNativeOrder(samples, static_cast<std::size_t>(format_.lumaBytes));
        deepToEightBits(reinterpret_cast<const uint16_t*>(samples), frame.luma.data,
                        std::size_t{format_.width} * format_.height, format_.bitDepth);
    }
    for (int i = 1; i < picture.planeCount && got == format_.lumaBytes + (i - 1) * chromaBytes_; ++i) {
        auto* samples = buffers.plane(i);
        got += stream_->read(samples, static_cast<std::size_t>(chromaBytes_));
        toNativeOrder(samples, static_cast<std::size_t>(chromaBytes_));
    }
}

ReadResult Y4mSource::readFrame(int64_t index, Frame& frame) {
    Image& luma = frame.luma;
    if (index < 0 || luma.data == nullptr || luma.w != info_.width || luma.h != info_.height)
        return failure("Frame " + std::to_string(index) + " of " + name_ + " was asked for in a plane of another size");
    ReadResult result = moveTo(index);
    if (result.status == ReadResult::Frame) result = readMarker(index);
    if (result.status != ReadResult::Frame) return result;
    uint64_t got = 0;
    if (frame.wantPlanes) {
        readPlanes(frame, got);
    } else {
        frame.picture.planeCount = 0;
        readLuma(luma, got);
    }
    const uint64_t rest = format_.frameBytes - format_.lumaBytes;
    const uint64_t skipped = got - format_.lumaBytes;
    if (got >= format_.lumaBytes && skipped < rest) got += stream_->skip(rest - skipped);
    if (stream_->error() != 0) return readError("frame " + std::to_string(index));
    if (got < format_.frameBytes) return truncated(got);
    ++next_;
    result.bytesRead = static_cast<std::size_t>(format_.lumaBytes);
    return result;
}

Recognition recogniseY4m(const InputProbe& probe) { return {probe.stream.peek(10) == "YUV4MPEG2 ", {}}; }

OpenedSource openY4mInput(const OpenRequest& request, std::unique_ptr<ByteStream> stream) {
    const std::string name = inputName(request.path);
    if (request.stream > 0) return name + " is Y4M and has no stream " + std::to_string(request.stream);
    auto opened = Y4mSource::open(std::move(stream), name);
    if (auto* error = std::get_if<std::string>(&opened)) return *error;
    return std::unique_ptr<FrameSource>(std::move(std::get<std::unique_ptr<Y4mSource>>(opened)));
}
