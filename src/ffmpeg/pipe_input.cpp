#include "ffmpeg/pipe_input.h"

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {
constexpr int kBufferBytes = 1 << 16;
}

PipeInput::PipeInput(ByteReader reader) : reader_(std::move(reader)) {
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
    if (buffer == nullptr) return;
    context_ = avio_alloc_context(buffer, kBufferBytes, 0, this, readPacket, nullptr, nullptr);
    if (context_ == nullptr) {
        av_free(buffer);
        return;
    }
    context_->seekable = 0;
}

PipeInput::~PipeInput() {
    if (context_ == nullptr) return;
    av_freep(&context_->buffer);
    avio_context_free(&context_);
}

int PipeInput::readPacket(void* opaque, uint8_t* buffer, int size) {
    auto* self = static_cast<PipeInput*>(opaque);
    const std::size_t got = self->reader_(buffer, static_cast<std::size_t>(size));
    return got == 0 ? AVERROR_EOF : static_cast<int>(got);
}
