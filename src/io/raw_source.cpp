#include "io/raw_source.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

RawSource::RawSource(ByteStream& video, uint32_t width, uint32_t height, int64_t frameSize,
                     std::optional<int64_t> frameCount, bool stopAtEnd, const PictureFormat& format)
    : video_(video),
      frameSize_(frameSize),
      lumaSize_(static_cast<std::size_t>(planarLumaBytes(format, width, height))),
      stopAtEnd_(stopAtEnd) {
    info_.format = "raw";
    info_.bitDepth = format.bitDepth;
    info_.picture = format;
    info_.width = width;
    info_.height = height;
    info_.frameCount = frameCount;
}

RawSource::RawSource(std::unique_ptr<ByteStream> video, uint32_t width, uint32_t height, int64_t frameSize,
                     std::optional<int64_t> frameCount, bool stopAtEnd, const PictureFormat& format)
    : RawSource(*video, width, height, frameSize, frameCount, stopAtEnd, format) {
    owned_ = std::move(video);
}

ReadResult RawSource::readAt(int64_t offset, uint8_t* into, std::size_t bytes) {
    ReadResult r;
    // A position the file cannot take reads as the end of the input.
    if (!video_.seek(static_cast<uint64_t>(offset))) return r;
    r.bytesRead = video_.read(into, bytes);
    if (r.bytesRead < bytes && video_.error() != 0) {
        r.status = ReadResult::Error;
        r.error = video_.error();
    }
    return r;
}

ReadResult RawSource::readForward(int64_t offset, uint8_t* into, std::size_t bytes) {
    ReadResult r;
    const auto target = static_cast<uint64_t>(offset);
    if (video_.position() < target) video_.skip(target - video_.position());
    if (video_.position() == target) r.bytesRead = video_.read(into, bytes);
    if (r.bytesRead < bytes && video_.error() != 0) {
        r.status = ReadResult::Error;
        r.error = video_.error();
    }
    return r;
}

bool RawSource::fillFromLayout(const Layout& layout, std::size_t from, uint8_t* into) {
    std::memset(into + from, 0, lumaSize_ - from);
    for (const Piece& piece : layout) {
        const std::size_t start = std::max(piece.from, from);
        if (start >= piece.to) continue;
        const ReadResult again = readAt(piece.offset + static_cast<int64_t>(start - piece.from), into + start,
                                        piece.to - start);
        if (again.status == ReadResult::Error) return false;
    }
    return true;
}

void RawSource::keepLayout(Layout& layout, int64_t offset, std::size_t bytesRead) {
    if (bytesRead == lumaSize_) {
        layout.assign(1, Piece{offset, 0, lumaSize_});
        return;
    }
    Layout next;
    if (bytesRead > 0) next.push_back({offset, 0, bytesRead});
    for (Piece piece : layout) {
        if (piece.to <= bytesRead) continue;
        if (piece.from < bytesRead) {
            piece.offset += static_cast<int64_t>(bytesRead - piece.from);
            piece.from = bytesRead;
        }
        next.push_back(piece);
    }
    layout = std::move(next);
}

ReadResult RawSource::readLumaBytes(int64_t index, uint8_t* into, Frame* chromaInto) {
    const int64_t offset = index * frameSize_;
    const auto parity = static_cast<std::size_t>(index & 1);
    const bool seekable = video_.seekable();
    // Made at the first read, so that a size the run refuses (--max-pixels) takes no memory.
    if (!seekable && kept_[0].empty()) {
        kept_[0].assign(lumaSize_, 0);
        kept_[1].assign(lumaSize_, 0);
    }
    ReadResult r = seekable ? readAt(offset, into, lumaSize_) : readForward(offset, kept_[parity].data(), lumaSize_);
    if (r.status == ReadResult::Error) return r;
    if (stopAtEnd_) {
        uint64_t got = r.bytesRead;
        // A pipe has no length to leave a cut last frame out: its chroma must be there too.
        if (!seekable && got == lumaSize_) {
            if (chromaInto != nullptr) {
                const ReadResult chroma = readChroma(offset + static_cast<int64_t>(lumaSize_), *chromaInto);
                got += chroma.bytesRead;
            } else {
                got += video_.skip(static_cast<uint64_t>(frameSize_) - lumaSize_);
            }
            if (video_.error() != 0) {
                r.status = ReadResult::Error;
                r.error = video_.error();
                return r;
            }
        }
        if (got < lumaSize_ || (!seekable && got < static_cast<uint64_t>(frameSize_))) {
            if (got > 0)
                fprintf(stderr, "frameprobe: the last frame is truncated (%llu of %lld bytes); it is not measured\n",
                        static_cast<unsigned long long>(got), static_cast<long long>(frameSize_));
            r.status = ReadResult::End;
            return r;
        }
    }
    if (!seekable) {
        // A pipe tells its length only at its end: the rows a short read repeats are no frames.
        if (r.bytesRead < lumaSize_ && !info_.frameCount)
            info_.frameCount = static_cast<int64_t>(video_.position() / static_cast<uint64_t>(frameSize_));
        // What the read did not reach still holds the frame two places back.
        std::memcpy(into, kept_[parity].data(), lumaSize_);
        return r;
    }
    Layout& layout = layouts_[parity];
    if (r.bytesRead < lumaSize_ && !fillFromLayout(layout, r.bytesRead, into)) {
        r.status = ReadResult::Error;
        r.error = video_.error() != 0 ? video_.error() : EIO;
        return r;
    }
    keepLayout(layout, offset, r.bytesRead);
    return r;
}

ReadResult RawSource::readChroma(int64_t offset, Frame& frame) {
    ReadResult r;
    const Picture& picture = frame.picture;
    for (int i = 1; i < picture.planeCount; ++i) {
        const SamplePlane& plane = picture.planes[static_cast<std::size_t>(i)];
        auto* into = const_cast<uint8_t*>(plane.data);
        const std::size_t bytes = static_cast<std::size_t>(plane.stride) * plane.height;
        const ReadResult part = video_.seekable() ? readAt(offset, into, bytes) : readForward(offset, into, bytes);
        if (part.status == ReadResult::Error) return part;
        std::memset(into + part.bytesRead, 0, bytes - part.bytesRead);
        offset += static_cast<int64_t>(bytes);
        r.bytesRead += part.bytesRead;
    }
    return r;
}

ReadResult RawSource::readFrame(int64_t index, Frame& frame) {
    const PictureFormat& format = info_.picture;
    const std::size_t samples = std::size_t{info_.width} * info_.height;
    uint8_t* into = frame.luma.data;
    if (frame.wantPlanes) {
        auto& buffers = planeStoreOf<PlaneBuffers>(frame);
        buffers.prepare(format, info_.width, info_.height, frame.picture, &frame.luma);
        into = const_cast<uint8_t*>(frame.picture.planes[0].data);
    } else {
        frame.picture.planeCount = 0;
        if (format.bitDepth > 8) {
            if (deep_.empty()) deep_.assign(lumaSize_, 0);
            into = deep_.data();
        }
    }
    const bool pipeToItsEnd = !video_.seekable() && stopAtEnd_;
    ReadResult r = readLumaBytes(index, into, frame.wantPlanes && pipeToItsEnd ? &frame : nullptr);
    if (r.status != ReadResult::Frame) return r;
    if (format.bitDepth > 8) {
        if constexpr (std::endian::native == std::endian::big)
            for (std::size_t i = 0; i + 1 < lumaSize_; i += 2) std::swap(into[i], into[i + 1]);
        deepToEightBits(reinterpret_cast<const uint16_t*>(into), frame.luma.data, samples, format.bitDepth);
    }
    if (!frame.wantPlanes) return r;
    if (pipeToItsEnd) return r;  // its chroma was read to tell a whole frame
    const ReadResult chroma = readChroma(index * frameSize_ + static_cast<int64_t>(lumaSize_), frame);
    if (chroma.status == ReadResult::Error) return chroma;
    return r;
}

namespace {

bool hasRawExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".yuv" || extension == ".raw";
}

}  // namespace

Recognition recogniseRawByName(const InputProbe& p) {
    // Asked right after the kinds known by their first bytes: a failed read of those is said here.
    if (p.stream.error() != 0) return {false, "Could not read " + p.name + ": " + strerror(p.stream.error())};
    if (hasRawExtension(p.request.path)) {
        if (!p.sized) return {false, "Raw YUV input " + p.name + " needs a width and a height"};
        return {true, {}};
    }
    // A pipe with a size given carries raw YUV; without one, a container FFmpeg reads front to back.
    return {p.pipe && p.sized, {}};
}

Recognition recogniseRawOtherwise(const InputProbe& p) {
    if (!p.sized && p.stream.peek(1).empty()) return {false, p.name + " is empty"};
    if (p.pipe) return {false, p.name + " is not Y4M; raw YUV from " + p.name + " needs a width and a height"};
    if (!p.sized) return {false, "Cannot tell what " + p.name + " holds; raw YUV input needs a width and a height"};
    return {true, {}};
}

OpenedSource openRawInput(const OpenRequest& r, std::unique_ptr<ByteStream> stream) {
    if (!r.width || !r.height || stream == nullptr)
        return "Raw YUV input " + inputName(r.path) + " needs a width and a height";
    const std::optional<PictureFormat> format = planarFormat(r.pixelFormat.value_or("yuv420p"));
    if (!format) return "unknown raw pixel format \"" + *r.pixelFormat + "\"";
    // yuv420p keeps the long-standing size of a frame, 3/2 bytes per pixel rounded down.
    const uint64_t frameSize = format->pixelFormat == "yuv420p" ? 3 * uint64_t{*r.width} * *r.height / 2
                                                                : planarFrameBytes(*format, *r.width, *r.height);
    if (frameSize > uint64_t{std::numeric_limits<int32_t>::max()})
        return "a raw frame of " + std::to_string(*r.width) + "x" + std::to_string(*r.height) + " (" +
               std::to_string(frameSize) + " bytes) exceeds 2147483647 bytes";
    std::optional<int64_t> count;
    if (const auto length = stream->length()) count = static_cast<int64_t>(*length / frameSize);
    // Without a frame count the end of the input ends the run; with one, a raw
    // range past the end shows what short reads leave, as in the positional form.
    return std::unique_ptr<FrameSource>(std::make_unique<RawSource>(std::move(stream), *r.width, *r.height,
                                                                    static_cast<int64_t>(frameSize), count, !r.frames,
                                                                    *format));
}
