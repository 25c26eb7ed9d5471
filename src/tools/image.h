// Plane records shared by the whole toolkit: a width, a height and a pointer to
// w*h samples stored row by row without gaps. The records are plain values; a
// copy shares the samples, and whoever allocated them releases them once.
#pragma once

#include <cstddef>
#include <cstdint>

struct Image {
    uint64_t w;
    uint64_t h;
    uint8_t* data;
};

struct Image32 {
    uint64_t w;
    uint64_t h;
    int32_t* data;
};

struct ImageDouble {
    uint64_t w;
    uint64_t h;
    double* data;
};

Image makeImage(uint64_t w, uint64_t h, uint8_t* data);
Image32 makeImage32(uint64_t w, uint64_t h, int32_t* data);
ImageDouble makeImageDouble(uint64_t w, uint64_t h, double* data);

// Uninitialised samples; the pointer is null when the allocation failed.
Image allocImage(uint64_t w, uint64_t h);
Image32 allocImage32(uint64_t w, uint64_t h);
ImageDouble allocImageDouble(uint64_t w, uint64_t h);

// Zero-filled samples; the pointer is null when the allocation failed.
Image callocImage(uint64_t w, uint64_t h);
Image32 callocImage32(uint64_t w, uint64_t h);
ImageDouble callocImageDouble(uint64_t w, uint64_t h);

void freeImage(Image* image);
void freeImage32(Image32* image);
void freeImageDouble(ImageDouble* image);

// A read-only view of 8-bit samples, row by row `stride` bytes apart.
struct Plane {
    const uint8_t* data;
    std::ptrdiff_t stride;
    uint32_t width;
    uint32_t height;
};

inline Plane planeOf(const Image& image) {
    return Plane{image.data, static_cast<std::ptrdiff_t>(image.w), static_cast<uint32_t>(image.w),
                 static_cast<uint32_t>(image.h)};
}
