#include "tools/image.h"

#include <cstdlib>

namespace {

template <typename Plane, typename Sample>
Plane allocPlane(uint64_t w, uint64_t h) {
    return Plane{w, h, static_cast<Sample*>(std::malloc(w * h * sizeof(Sample)))};
}

template <typename Plane, typename Sample>
Plane callocPlane(uint64_t w, uint64_t h) {
    // calloc checks the element count times the size for overflow itself.
    return Plane{w, h, static_cast<Sample*>(std::calloc(w * h, sizeof(Sample)))};
}

}  // namespace

Image makeImage(uint64_t w, uint64_t h, uint8_t* data) { return Image{w, h, data}; }
Image32 makeImage32(uint64_t w, uint64_t h, int32_t* data) { return Image32{w, h, data}; }
ImageDouble makeImageDouble(uint64_t w, uint64_t h, double* data) { return ImageDouble{w, h, data}; }

Image allocImage(uint64_t w, uint64_t h) { return allocPlane<Image, uint8_t>(w, h); }
Image32 allocImage32(uint64_t w, uint64_t h) { return allocPlane<Image32, int32_t>(w, h); }
ImageDouble allocImageDouble(uint64_t w, uint64_t h) { return allocPlane<ImageDouble, double>(w, h); }

Image callocImage(uint64_t w, uint64_t h) { return callocPlane<Image, uint8_t>(w, h); }
Image32 callocImage32(uint64_t w, uint64_t h) { return callocPlane<Image32, int32_t>(w, h); }
ImageDouble callocImageDouble(uint64_t w, uint64_t h) { return callocPlane<ImageDouble, double>(w, h); }

void freeImage(Image* image) { std::free(image->data); }
void freeImage32(Image32* image) { std::free(image->data); }
void freeImageDouble(ImageDouble* image) { std::free(image->data); }
