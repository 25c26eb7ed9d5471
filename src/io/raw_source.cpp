#include "io/raw_source.h"

#include <sys/types.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

bool canSeek(FILE* f) { return fseeko(f, 0, SEEK_CUR) == 0; }

}  // namespace

RawSource::RawSource(FILE* video, uint32_t width, uint32_t height, int64_t frameSize,
                     std::optional<int64_t> frameCount)
    : video_(video),
      frameSize_(frameSize),
      lumaSize_(std::size_t{width} * height),
      seekable_(canSeek(video)) {
    info_.format = "raw";
    info_.width = width;
    info_.height = height;
    info_.frameCount = frameCount;
    if (!seekable_) {
        kept_[0].assign(lumaSize_, 0);
        kept_[1].assign(lumaSize_, 0);
    }
}

ReadResult RawSource::readAt(int64_t offset, uint8_t* into, std::size_t bytes) {
    ReadResult r;
    // A position the stream cannot take reads as the end of the input.
    if (fseeko(video_, static_cast<off_t>(offset), SEEK_SET) != 0) return r;
    r.bytesRead = fread(into, 1, bytes, video_);
    if (ferror(video_)) {
        r.status = ReadResult::Error;
        r.error = errno;
    }
    return r;
}

ReadResult RawSource::readForward(int64_t offset, uint8_t* into, std::size_t bytes) {
    ReadResult r;
    if (skipBuffer_.empty()) skipBuffer_.resize(1 << 16);
    while (position_ < offset && !feof(video_) && !ferror(video_)) {
        const auto step = static_cast<std::size_t>(std::min<int64_t>(offset - position_, 1 << 16));
        position_ += static_cast<int64_t>(fread(skipBuffer_.data(), 1, step, video_));
    }
    if (position_ == offset && !feof(video_)) {
        r.bytesRead = fread(into, 1, bytes, video_);
        position_ += static_cast<int64_t>(r.bytesRead);
    }
    if (ferror(video_)) {
        r.status = ReadResult::Error;
        r.error = errno;
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

ReadResult RawSource::read(int64_t index, Image& luma) {
    const int64_t offset = index * frameSize_;
    const std::size_t parity = static_cast<std::size_t>(index & 1);
    uint8_t* into = luma.data;
    if (!seekable_) {
        std::vector<uint8_t>& kept = kept_[parity];
        const ReadResult r = readForward(offset, kept.data(), lumaSize_);
        if (r.status == ReadResult::Error) return r;
        std::memcpy(into, kept.data(), lumaSize_);
        return r;
    }
    ReadResult r = readAt(offset, into, lumaSize_);
    if (r.status == ReadResult::Error) return r;
    Layout& layout = layouts_[parity];
    if (r.bytesRead < lumaSize_) {
        // The rest is what the frame two places back held there.
        if (!fillFromLayout(layout, r.bytesRead, into)) {
            r.status = ReadResult::Error;
            r.error = errno;
            return r;
        }
        Layout next;
        if (r.bytesRead > 0) next.push_back({offset, 0, r.bytesRead});
        for (Piece piece : layout) {
            if (piece.to <= r.bytesRead) continue;
            if (piece.from < r.bytesRead) {
                piece.offset += static_cast<int64_t>(r.bytesRead - piece.from);
                piece.from = r.bytesRead;
            }
            next.push_back(piece);
        }
        layout = std::move(next);
    } else {
        layout.assign(1, Piece{offset, 0, lumaSize_});
    }
    return r;
}
