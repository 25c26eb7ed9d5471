// FfmpegSource: the decoded frame's luma copied into the run's plane (converted where its
// format needs it), and its planes handed to the run.
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "ffmpeg/ffmpeg_source.h"
#include "ffmpeg/pixel_layout.h"
#include "kernels/deep_samples_kernel.h"

// The planes of a frame the run holds: the decoder's picture itself, or the one it was converted to.
struct DecodedPlanes final : PlaneStore {
    AVFrame* decoded = av_frame_alloc();
    AVFrame* converted = av_frame_alloc();
    ~DecodedPlanes() override {
        av_frame_free(&decoded);
        av_frame_free(&converted);
    }
};

namespace {

// The variant of the CPU's level, as the program's kernel table has it.
DeepToBytesKernel* const deepToBytes = bestVariant(deepToBytesVariants());

}  // namespace

ReadResult FfmpegSource::copyLuma(Image& luma) {
    const uint32_t width = info_.width, height = info_.height;
    if (frame_->width != static_cast<int>(width) || frame_->height != static_cast<int>(height))
        return failure("Frame " + std::to_string(next_) + " of " + path_ + " is " + std::to_string(frame_->width) +
                       "x" + std::to_string(frame_->height) + ", not " + std::to_string(width) + "x" +
                       std::to_string(height) + " as the stream states");
    const auto format = static_cast<AVPixelFormat>(frame_->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (const AVComponentDescriptor* y = directLuma(desc)) {
        const bool bigEndian = desc->flags & AV_PIX_FMT_FLAG_BE;
        const unsigned mask = (1u << y->depth) - 1;
        const int down = y->depth - 8;
        for (uint32_t row = 0; row < height; ++row) {
            const uint8_t* in = frame_->data[0] + static_cast<std::ptrdiff_t>(row) * frame_->linesize[0] + y->offset;
            uint8_t* out = luma.data + static_cast<std::size_t>(row) * width;
            if (y->depth == 8 && y->step == 1) {
                memcpy(out, in, width);
            } else if (y->depth == 8) {
                for (uint32_t x = 0; x < width; ++x) out[x] = in[x * y->step];
            } else if (!bigEndian && y->step == 2 && y->shift == 0) {
                deepToBytes(in, out, width, y->depth);  // planar little-endian samples, the usual decoder output
            } else {
                for (uint32_t x = 0; x < width; ++x) {
                    const uint8_t* s = in + x * y->step;
                    const unsigned word = bigEndian ? (s[0] << 8 | s[1]) : (s[1] << 8 | s[0]);
                    out[x] = static_cast<uint8_t>(((word >> y->shift) & mask) >> down);
                }
            }
        }
        return ReadResult{};
    }
    if (sws_ == nullptr || swsFormat_ != format) {
        sws_freeContext(sws_);
        sws_ = sws_getContext(static_cast<int>(width), static_cast<int>(height), format, static_cast<int>(width),
                              static_cast<int>(height), AV_PIX_FMT_GRAY8, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                              nullptr, nullptr);
        if (sws_ == nullptr)
            return failure("Cannot convert the " + std::string(desc ? desc->name : "unknown") + " pixels of frame " +
                           std::to_string(next_) + " of " + path_ + " to luma");
        swsFormat_ = format;
        // RGB in full range gives luma by the BT.601 matrix in the limited range 16-235.
        const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws_, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
        // swscale may write past the end of a row, so it writes to padded rows of its own.
        greyStride_ = (static_cast<int>(width) + 63) / 64 * 64;
        grey_.assign(static_cast<std::size_t>(greyStride_) * height + 64, 0);
    }
    uint8_t* planes[4] = {grey_.data(), nullptr, nullptr, nullptr};
    int strides[4] = {greyStride_, 0, 0, 0};
    sws_scale(sws_, frame_->data, frame_->linesize, 0, static_cast<int>(height), planes, strides);
    for (uint32_t row = 0; row < height; ++row)
        memcpy(luma.data + static_cast<std::size_t>(row) * width,
               grey_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(greyStride_), width);
    return ReadResult{};
}

ReadResult FfmpegSource::holdPlanes(Frame& frame) {
    DecodedPlanes& store = planeStoreOf<DecodedPlanes>(frame);
    if (store.decoded == nullptr || store.converted == nullptr)
        return failure("Out of memory reading " + path_, AVERROR(ENOMEM));
    const auto format = static_cast<AVPixelFormat>(frame_->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    AVFrame* held = store.decoded;
    av_frame_unref(store.decoded);
    PictureFormat layout;
    if (directPlanes(desc)) {
        // The decoder's picture, by reference: no copy, and its memory returns to the pool once read again.
        av_frame_move_ref(store.decoded, frame_);
        layout.bitDepth = desc->comp[0].depth;
        layout.planes = desc->nb_components >= 3 ? 3 : 1;
        layout.log2ChromaWidth = desc->log2_chroma_w;
        layout.log2ChromaHeight = desc->log2_chroma_h;
    } else {
        if (desc == nullptr) return failure("Frame " + std::to_string(next_) + " of " + path_ + " has no pixel format");
        const AVPixelFormat target = planarTarget(desc, layout);
        AVFrame* out = store.converted;
        if (out->format != target || out->width != frame_->width || out->height != frame_->height) {
            av_frame_unref(out);
            out->format = target;
            out->width = frame_->width;
            out->height = frame_->height;
            if (target == AV_PIX_FMT_NONE || av_frame_get_buffer(out, 0) < 0)
                return failure("Out of memory reading " + path_, AVERROR(ENOMEM));
        }
        if (planeSws_ == nullptr || planeSwsFormat_ != format) {
            sws_freeContext(planeSws_);
            planeSws_ = sws_getContext(frame_->width, frame_->height, format, frame_->width, frame_->height, target,
                                       SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
            if (planeSws_ == nullptr)
                return failure("Cannot convert the " + std::string(desc->name) + " pixels of " + path_ +
                               " to planar YUV");
            planeSwsFormat_ = format;
            if (desc->flags & AV_PIX_FMT_FLAG_RGB) {  // as the luma: BT.601 into the limited range
                const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
                sws_setColorspaceDetails(planeSws_, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
            }
        }
        sws_scale(planeSws_, frame_->data, frame_->linesize, 0, frame_->height, out->data, out->linesize);
        held = out;
    }
    Picture& picture = frame.picture;
    picture.planeCount = layout.planes;
    picture.bitDepth = layout.bitDepth;
    for (int i = 0; i < 3; ++i) {
        const bool chroma = i > 0;
        const int w = chroma ? AV_CEIL_RSHIFT(held->width, layout.log2ChromaWidth) : held->width;
        const int h = chroma ? AV_CEIL_RSHIFT(held->height, layout.log2ChromaHeight) : held->height;
        picture.planes[static_cast<std::size_t>(i)] =
            i < layout.planes ? SamplePlane{held->data[i], held->linesize[i], static_cast<uint32_t>(w),
                                            static_cast<uint32_t>(h)}
                              : SamplePlane{};
    }
    return ReadResult{};
}
