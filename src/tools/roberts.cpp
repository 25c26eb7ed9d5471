#include "tools/roberts.h"

#include <cassert>
#include <cstddef>

namespace {

// 32-bit arithmetic that wraps instead of overflowing.
inline int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t wrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

inline int32_t sampleCount(Image32 image) { return static_cast<int32_t>(static_cast<uint32_t>(image.w * image.h)); }

}  // namespace

void roberts(Image source, Image32 gradientX, Image32 gradientY) {
    // Checked through pointers: a failure report names the condition as
    // "src->h == destX->h && src->w == destX->w".
    const Image* src = &source;
    const Image32* destX = &gradientX;
    const Image32* destY = &gradientY;
    assert(src->h == destX->h && src->w == destX->w);
    assert(src->h == destY->h && src->w == destY->w);

    const std::size_t w = src->w;
    const std::size_t h = src->h;
    int32_t* outX = destX->data;
    int32_t* outY = destY->data;
    for (std::size_t x = 0; x < w; ++x) {
        outX[x] = 0;
        outY[x] = 0;
    }
    for (std::size_t y = 1; y < h; ++y) {
        const uint8_t* up = src->data + (y - 1) * w;
        const uint8_t* row = up + w;
        int32_t* rowX = outX + y * w;
        int32_t* rowY = outY + y * w;
        rowX[0] = 0;
        rowY[0] = 0;
        for (std::size_t x = 1; x < w; ++x) {
            rowX[x] = int32_t{up[x - 1]} - int32_t{row[x]};
            rowY[x] = int32_t{up[x]} - int32_t{row[x - 1]};
        }
    }
}

void robertsSkip(Image src, Image32 destX, Image32 destY, int32_t stepX, int32_t stepY) {
    const std::size_t w = destX.w;
    const std::size_t h = destX.h;
    const std::size_t sx = static_cast<std::size_t>(stepX);
    const std::size_t sy = static_cast<std::size_t>(stepY);
    const std::size_t stride = src.w;
    for (std::size_t c = 0; c < w; ++c) {
        destX.data[c] = 0;
        destY.data[c] = 0;
    }
    for (std::size_t r = 1; r < h; ++r) {
        const uint8_t* row = src.data + r * sy * stride;
        const uint8_t* up = row - stride;
        int32_t* rowX = destX.data + r * w;
        int32_t* rowY = destY.data + r * w;
        rowX[0] = 0;
        rowY[0] = 0;
        for (std::size_t c = 1; c < w; ++c) {
            const std::size_t x = c * sx;
            rowX[c] = int32_t{up[x - 1]} - int32_t{row[x]};
            rowY[c] = int32_t{up[x]} - int32_t{row[x - 1]};
        }
    }
}

void addSquares32(Image32 first, Image32 second, Image32 dest) {
    const int32_t n = sampleCount(first);
    for (int32_t i = 0; i < n; ++i) dest.data[i] = wrapAdd(wrapMul(first.data[i], first.data[i]),
                                                           wrapMul(second.data[i], second.data[i]));
}

void multiply(Image32 first, Image32 second, Image32 dest) {
    const int32_t n = sampleCount(first);
    for (int32_t i = 0; i < n; ++i) dest.data[i] = wrapMul(first.data[i], second.data[i]);
}

void countSeqsH(Image32 src, Image32 dest, uint64_t blockW, uint64_t blockH, int32_t minLength,
                double threshold) {
    if (dest.h == 0 || blockH == 0) return;
    for (uint64_t r = 0; r < dest.h; ++r) {
        int32_t* counts = dest.data + r * dest.w;
        for (uint64_t k = 0; k < blockH; ++k) {
            const int32_t* row = src.data + (r * blockH + k) * src.w;
            for (uint64_t c = 0; c < dest.w; ++c) {
                const int32_t* segment = row + c * blockW;
                int64_t run = 0;
                for (uint64_t i = 0; i < blockW; ++i) {
                    if (static_cast<double>(segment[i]) > threshold) {
                        if (++run == minLength) counts[c] = wrapAdd(counts[c], 1);
                    } else {
                        run = 0;
                    }
                }
            }
        }
    }
}

void countSeqsV(Image32 src, Image32 dest, Image32 runs, uint64_t blockW, uint64_t blockH, int32_t minLength,
                double threshold) {
    if (dest.h == 0) return;
    int32_t* counters = runs.data;
    for (uint64_t r = 0; r < dest.h; ++r) {
        int32_t* counts = dest.data + r * dest.w;
        for (uint64_t k = 0; k < blockH; ++k) {
            const int32_t* row = src.data + (r * blockH + k) * src.w;
            const bool lastRow = k + 1 == blockH;
            for (uint64_t c = 0; c < dest.w; ++c) {
                for (uint64_t x = c * blockW; x < (c + 1) * blockW; ++x) {
                    if (static_cast<double>(row[x]) > threshold) {
                        counters[x] = wrapAdd(counters[x], 1);
                        if (counters[x] == minLength) counts[c] = wrapAdd(counts[c], 1);
                    } else {
                        counters[x] = 0;
                    }
                    if (lastRow) counters[x] = 0;
                }
            }
        }
    }
}
