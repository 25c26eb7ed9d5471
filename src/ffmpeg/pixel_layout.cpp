#include "ffmpeg/pixel_layout.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

extern "C" {
#include <libavcodec/codec_par.h>
}

const AVComponentDescriptor* directLuma(const AVPixFmtDescriptor* desc) {
    constexpr uint64_t converted = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                   AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_FLOAT;
    if (desc == nullptr || (desc->flags & converted) || strncmp(desc->name, "xyz", 3) == 0) return nullptr;
    const AVComponentDescriptor& y = desc->comp[0];
    const int sampleBytes = y.depth > 8 ? 2 : 1;
    if (y.plane != 0 || y.depth < 8 || y.depth + y.shift > 16 || y.step < sampleBytes) return nullptr;
    return &y;
}

bool directPlanes(const AVPixFmtDescriptor* desc) {
    constexpr uint64_t converted = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                   AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_FLOAT;
    if (desc == nullptr || (desc->flags & converted) || strncmp(desc->name, "xyz", 3) == 0) return false;
    const bool bigEndian = (desc->flags & AV_PIX_FMT_FLAG_BE) != 0;
    if (bigEndian != (std::endian::native == std::endian::big) && desc->comp[0].depth > 8) return false;
    const int planes = desc->nb_components >= 3 ? 3 : 1;
    if (planes == 1 && desc->nb_components == 2 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
    const int depth = desc->comp[0].depth;
    for (int i = 0; i < planes; ++i) {
        const AVComponentDescriptor& c = desc->comp[i];
        if (c.plane != i || c.depth != depth || c.shift != 0 || c.offset != 0 || c.step != (depth > 8 ? 2 : 1))
            return false;
    }
    return depth >= 8 && depth <= 16;
}

AVPixelFormat planarTarget(const AVPixFmtDescriptor* desc, PictureFormat& picture) {
    int depth = 8;
    for (int i = 0; i < desc->nb_components; ++i) depth = std::max(depth, static_cast<int>(desc->comp[i].depth));
    depth = depth <= 8 ? 8 : depth <= 10 ? 10 : depth <= 12 ? 12 : 16;
    const bool grey = desc->nb_components <= 2 && !(desc->flags & AV_PIX_FMT_FLAG_PAL);
    const bool yuv = !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER)) &&
                     strncmp(desc->name, "xyz", 3) != 0;
    picture.bitDepth = depth;
    picture.planes = grey ? 1 : 3;
    picture.log2ChromaWidth = grey || !yuv ? 0 : desc->log2_chroma_w;
    picture.log2ChromaHeight = grey || !yuv ? 0 : desc->log2_chroma_h;
    std::string name = planarFormatName(depth, picture.planes, picture.log2ChromaWidth, picture.log2ChromaHeight);
    AVPixelFormat target = name.empty() ? AV_PIX_FMT_NONE : av_get_pix_fmt(name.c_str());
    if (target == AV_PIX_FMT_NONE) {  // a layout FFmpeg has no deep planar format for
        picture.log2ChromaWidth = picture.log2ChromaHeight = 0;
        name = planarFormatName(depth, picture.planes, 0, 0);
        target = av_get_pix_fmt(name.c_str());
    }
    picture.convertedTo = name;
    return target;
}

namespace {

std::optional<std::string> named(const char* name, bool unspecified) {
    if (unspecified || name == nullptr) return std::nullopt;
    return std::string(name);
}

}  // namespace

PictureFormat describePictures(const AVCodecParameters& video) {
    PictureFormat picture;
    const auto format = static_cast<AVPixelFormat>(video.format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    picture.pixelFormat = desc != nullptr ? desc->name : "unknown";
    if (directPlanes(desc)) {
        picture.bitDepth = desc->comp[0].depth;
        picture.planes = desc->nb_components >= 3 ? 3 : 1;
        picture.log2ChromaWidth = picture.planes == 3 ? desc->log2_chroma_w : 0;
        picture.log2ChromaHeight = picture.planes == 3 ? desc->log2_chroma_h : 0;
    } else if (desc != nullptr) {
        planarTarget(desc, picture);
    }
    const bool jpegRange = desc != nullptr && strncmp(desc->name, "yuvj", 4) == 0;
    picture.colorRange = named(av_color_range_name(video.color_range), video.color_range == AVCOL_RANGE_UNSPECIFIED);
    if (!picture.colorRange && jpegRange) picture.colorRange = "pc";
    picture.colorMatrix = named(av_color_space_name(video.color_space), video.color_space == AVCOL_SPC_UNSPECIFIED);
    picture.colorTransfer = named(av_color_transfer_name(video.color_trc), video.color_trc == AVCOL_TRC_UNSPECIFIED);
    picture.colorPrimaries =
        named(av_color_primaries_name(video.color_primaries), video.color_primaries == AVCOL_PRI_UNSPECIFIED);
    return picture;
}
