#include "io/picture.h"

#include <algorithm>

namespace {

struct Layout {
    const char* name;  // FFmpeg's name without the depth and endianness
    int planes;
    int log2ChromaWidth;
    int log2ChromaHeight;
};

constexpr Layout kLayouts[] = {{"yuv420p", 3, 1, 1}, {"yuv422p", 3, 1, 0}, {"yuv444p", 3, 0, 0},
                               {"yuv411p", 3, 2, 0}, {"yuv440p", 3, 0, 1}, {"yuv410p", 3, 2, 2},
                               {"gray", 1, 0, 0}};

uint64_t chromaSide(uint64_t side, int log2) { return (side + (uint64_t{1} << log2) - 1) >> log2; }

}  // namespace

std::string chromaSubsampling(const PictureFormat& f) {
    if (f.planes == 1) return "4:0:0";
    const int horizontal = 4 >> f.log2ChromaWidth;
    // J:a:b: a chroma samples in the first row of 4 luma samples, b in the second.
    const int second = f.log2ChromaHeight == 0 ? horizontal : 0;
    if (f.log2ChromaHeight == 2) return "4:1:0";
    return "4:" + std::to_string(horizontal) + ":" + std::to_string(second);
}

std::optional<PictureFormat> planarFormat(const std::string& name) {
    for (const Layout& layout : kLayouts) {
        const std::string base = layout.name;
        if (name.compare(0, base.size(), base) != 0) continue;
        std::string rest = name.substr(base.size());
        PictureFormat format;
        format.pixelFormat = name;
        format.planes = layout.planes;
        format.log2ChromaWidth = layout.log2ChromaWidth;
        format.log2ChromaHeight = layout.log2ChromaHeight;
        if (rest.empty()) return format;
        if (rest.size() < 3 || rest.compare(rest.size() - 2, 2, "le") != 0) return std::nullopt;
        rest.resize(rest.size() - 2);
        if (rest != "9" && rest != "10" && rest != "12" && rest != "14" && rest != "16") return std::nullopt;
        format.bitDepth = std::stoi(rest);
        return format;
    }
    // The full-range names FFmpeg keeps for JPEG's pictures.
    for (const char* full : {"yuvj420p", "yuvj422p", "yuvj444p", "yuvj440p", "yuvj411p"}) {
        if (name != full) continue;
        std::optional<PictureFormat> format = planarFormat("yuv" + name.substr(4));
        format->pixelFormat = name;
        format->colorRange = "pc";
        return format;
    }
    return std::nullopt;
}

std::string planarFormatName(int bitDepth, int planes, int log2ChromaWidth, int log2ChromaHeight) {
    for (const Layout& layout : kLayouts) {
        if (layout.planes != planes || (planes == 3 && (layout.log2ChromaWidth != log2ChromaWidth ||
                                                        layout.log2ChromaHeight != log2ChromaHeight)))
            continue;
        const std::string name = std::string(layout.name) + (bitDepth > 8 ? std::to_string(bitDepth) + "le" : "");
        return planarFormat(name) ? name : "";
    }
    return "";
}

void describeColour(const PictureFormat& format, uint32_t height, Picture& picture) {
    picture.fullRange = format.colorRange == "pc";
    const std::string matrix = format.colorMatrix.value_or("");
    if (matrix == "bt709")
        picture.matrix = ColourMatrix::Bt709;
    else if (matrix == "bt470bg" || matrix == "smpte170m" || matrix == "fcc")
        picture.matrix = ColourMatrix::Bt601;
    else if (matrix == "bt2020nc" || matrix == "bt2020c")
        picture.matrix = ColourMatrix::Bt2020;
    else
        picture.matrix = height <= 576 ? ColourMatrix::Bt601 : ColourMatrix::Bt709;
}

uint64_t planarLumaBytes(const PictureFormat& f, uint32_t width, uint32_t height) {
    return uint64_t{width} * height * (f.bitDepth > 8 ? 2 : 1);
}

uint64_t planarFrameBytes(const PictureFormat& f, uint32_t width, uint32_t height) {
    const uint64_t chroma = chromaSide(width, f.log2ChromaWidth) * chromaSide(height, f.log2ChromaHeight);
    return planarLumaBytes(f, width, height) + (f.planes == 3 ? 2 * chroma * (f.bitDepth > 8 ? 2 : 1) : 0);
}

void PlaneBuffers::prepare(const PictureFormat& format, uint32_t width, uint32_t height, Picture& picture,
                           const Image* lumaInFrame) {
    const std::size_t sample = format.bitDepth > 8 ? 2 : 1;
    picture.planeCount = format.planes;
    picture.bitDepth = format.bitDepth;
    for (int i = 0; i < format.planes; ++i) {
        const auto w = static_cast<uint32_t>(i == 0 ? width : chromaSide(width, format.log2ChromaWidth));
        const auto h = static_cast<uint32_t>(i == 0 ? height : chromaSide(height, format.log2ChromaHeight));
        SamplePlane& plane = picture.planes[static_cast<std::size_t>(i)];
        plane = SamplePlane{nullptr, static_cast<std::ptrdiff_t>(w * sample), w, h};
        if (i == 0 && sample == 1 && lumaInFrame != nullptr) {
            plane.data = lumaInFrame->data;
            continue;
        }
        const std::size_t bytes = std::size_t{w} * h * sample;
        auto& buffer = buffers_[static_cast<std::size_t>(i)];
        if (sizes_[static_cast<std::size_t>(i)] < bytes) {
            buffer = std::make_unique<uint8_t[]>(bytes);
            sizes_[static_cast<std::size_t>(i)] = bytes;
        }
        plane.data = buffer.get();
    }
    for (int i = format.planes; i < 3; ++i) picture.planes[static_cast<std::size_t>(i)] = SamplePlane{};
}

void deepToEightBits(const uint16_t* in, uint8_t* out, std::size_t count, int depth) {
    const int shift = depth - 8;
    for (std::size_t x = 0; x < count; ++x) out[x] = static_cast<uint8_t>(std::min(unsigned{in[x]} >> shift, 255u));
}
