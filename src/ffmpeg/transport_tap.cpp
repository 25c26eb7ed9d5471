#include "ffmpeg/transport_tap.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "transport/ts_analyzer.h"

namespace {
constexpr int kBufferBytes = 1 << 15;
}

std::unique_ptr<TransportTap> TransportTap::open(const std::string& url, AVDictionary** options,
                                                 const AVIOInterruptCB* interrupt, TsAnalyzer* analyzer,
                                                 std::string& error) {
    std::unique_ptr<TransportTap> tap(new TransportTap);
    tap->analyzer_ = analyzer;
    const int code = avio_open2(&tap->inner_, url.c_str(), AVIO_FLAG_READ, interrupt, options);
    if (code < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, text, sizeof text);
        error = text;
        return nullptr;
    }
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    if (buffer != nullptr)
        tap->outer_ = avio_alloc_context(buffer, kBufferBytes, 0, tap.get(), read, nullptr, seek);
    if (tap->outer_ == nullptr) {
        av_free(buffer);
        error = "out of memory";
        return nullptr;
    }
    tap->outer_->seekable = tap->inner_->seekable;
    tap->outer_->max_packet_size = tap->inner_->max_packet_size;
    return tap;
}

TransportTap::~TransportTap() {
    if (outer_ != nullptr) {
        av_freep(&outer_->buffer);
        avio_context_free(&outer_);
    }
    avio_closep(&inner_);
}

int TransportTap::read(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<TransportTap*>(opaque);
    const int got = avio_read_partial(self->inner_, buffer, size);
    if (got <= 0) return got == 0 ? AVERROR_EOF : got;
    const int64_t end = self->position_ + got;
    if (self->analyzer_ != nullptr && self->position_ <= self->checked_ && end > self->checked_) {
        const int64_t skip = self->checked_ - self->position_;
        self->analyzer_->feed(buffer + skip, static_cast<std::size_t>(got - skip));
        self->checked_ = end;
    }
    self->position_ = end;
    return got;
}

int64_t TransportTap::seek(void* opaque, int64_t offset, int whence) {
    auto* self = static_cast<TransportTap*>(opaque);
    if (whence & AVSEEK_SIZE) return avio_size(self->inner_);
    const int64_t at = avio_seek(self->inner_, offset, whence & ~AVSEEK_FORCE);
    if (at >= 0) self->position_ = at;
    return at;
}
