#include "ffmpeg/picture_pool.h"

#include <sys/mman.h>

#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/buffer.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Where each plane starts, and what follows its last row: what FFmpeg's own pool gives
// (its stride alignment, 64 where it uses AVX-512, and 16 bytes more that some decoders read).
constexpr std::size_t kPlaneAlign = 64;
constexpr std::size_t kPlanePadding = 16 + kPlaneAlign;

std::size_t roundUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

void unmapBlock(void* mappedBytes, uint8_t* block) { munmap(block, reinterpret_cast<std::size_t>(mappedBytes)); }

// A block of whole 2 MiB pages, aligned to them: anonymous memory, so zero when new.
AVBufferRef* mapBlock(void*, std::size_t size) {
    const std::size_t bytes = roundUp(size, kHugePage);
    void* mapped = mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    // Only the aligned part is kept.
    auto* start = static_cast<uint8_t*>(mapped);
    auto* block = reinterpret_cast<uint8_t*>(roundUp(reinterpret_cast<uintptr_t>(start), kHugePage));
    if (block > start) munmap(start, static_cast<std::size_t>(block - start));
    if (block + bytes < start + bytes + kHugePage)
        munmap(block + bytes, static_cast<std::size_t>(start + bytes + kHugePage - (block + bytes)));
#ifdef MADV_HUGEPAGE
    madvise(block, bytes, MADV_HUGEPAGE);  // only advice: small pages still serve
#endif
    AVBufferRef* buffer = av_buffer_create(block, size, unmapBlock, reinterpret_cast<void*>(bytes), 0);
    if (buffer == nullptr) munmap(block, bytes);
    return buffer;
}

}  // namespace

PicturePool::~PicturePool() { av_buffer_pool_uninit(&pool_); }  // pictures still held keep it until freed

void PicturePool::serve(AVCodecContext* codec) {
    codec->opaque = this;
    codec->get_buffer2 = getBuffer;
#if LIBAVCODEC_VERSION_MAJOR < 60
    // Decoders before version 60 ask for this mark before they call the pool from their own threads.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    codec->thread_safe_callbacks = 1;
#pragma GCC diagnostic pop
#endif
}

int PicturePool::getBuffer(AVCodecContext* codec, AVFrame* frame, int flags) {
    auto* self = static_cast<PicturePool*>(codec->opaque);
    if (self != nullptr && self->fill(codec, frame)) return 0;
    return avcodec_default_get_buffer2(codec, frame, flags);
}

bool PicturePool::fill(AVCodecContext* codec, AVFrame* frame) {
    const auto format = static_cast<AVPixelFormat>(frame->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    constexpr uint64_t kOwnLayout = AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM;
    if (desc == nullptr || (desc->flags & kOwnLayout) || !(codec->codec->capabilities & AV_CODEC_CAP_DR1) ||
        frame->width <= 0 || frame->height <= 0)
        return false;

    // The decoder's padded size, and rows widened until every plane's stride has its alignment.
    int width = frame->width, height = frame->height;
    int strideAlign[AV_NUM_DATA_POINTERS] = {};
    avcodec_align_dimensions2(codec, &width, &height, strideAlign);
    int linesize[4] = {};
    for (;;) {
        if (av_image_fill_linesizes(linesize, format, width) < 0) return false;
        bool aligned = true;
        for (int i = 0; i < 4; ++i) aligned &= strideAlign[i] == 0 || linesize[i] % strideAlign[i] == 0;
        if (aligned) break;
        width += width & ~(width - 1);
    }
    const ptrdiff_t strides[4] = {linesize[0], linesize[1], linesize[2], linesize[3]};
    std::size_t planeBytes[4] = {};
    if (av_image_fill_plane_sizes(planeBytes, format, height, strides) < 0) return false;
    std::size_t offsets[4] = {};
    std::size_t size = 0;
    for (int i = 0; i < 4 && planeBytes[i] > 0; ++i) {
        offsets[i] = size;
        size += roundUp(planeBytes[i] + kPlanePadding, kPlaneAlign);
    }
    // Small pictures stay in FFmpeg's pool: a huge page each would waste most of it.
    if (size < kHugePage) return false;

    AVBufferRef* block = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (pool_ == nullptr || blockSize_ != size) {
            av_buffer_pool_uninit(&pool_);
            pool_ = av_buffer_pool_init2(size, nullptr, mapBlock, nullptr);
            blockSize_ = size;
        }
        if (pool_ != nullptr) block = av_buffer_pool_get(pool_);
    }
    if (block == nullptr) return false;
    frame->buf[0] = block;
    for (int i = 0; i < 4 && planeBytes[i] > 0; ++i) {
        frame->data[i] = block->data + offsets[i];
        frame->linesize[i] = linesize[i];
    }
    frame->extended_data = frame->data;
    return true;
}
