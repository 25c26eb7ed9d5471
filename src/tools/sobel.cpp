#include "tools/sobel.h"

#include <cassert>
#include <cmath>
#include <cstring>

namespace {

struct SobelPair {
    int32_t gx;
    int32_t gy;
};

// Gradient pair at the interior sample (x, y) of a plane whose lines are `w` long.
inline SobelPair sobelAt(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint64_t x) {
    const int32_t right = up[x + 1] + 2 * mid[x + 1] + down[x + 1];
    const int32_t left = up[x - 1] + 2 * mid[x - 1] + down[x - 1];
    const int32_t below = down[x - 1] + 2 * down[x] + down[x + 1];
    const int32_t above = up[x - 1] + 2 * up[x] + up[x + 1];
    return SobelPair{right - left, below - above};
}

// Runs the Sobel walk over `src`, zeroing the border of both destinations and
// handing each interior pair to `store(x, y, gx, gy)`.
template <typename Sample, typename Store>
void sobelWalk(const Image* src, Sample* destX, Sample* destY, Store store) {
    const uint64_t w = src->w;
    const uint64_t h = src->h;
    if (w == 0 || h == 0) return;
    for (uint64_t y = 0; y < h; ++y) {
        Sample* rowX = destX + y * w;
        Sample* rowY = destY + y * w;
        if (y == 0 || y == h - 1) {
            std::memset(rowX, 0, w * sizeof(Sample));
            std::memset(rowY, 0, w * sizeof(Sample));
            continue;
        }
        rowX[0] = 0;
        rowY[0] = 0;
        const uint8_t* up = src->data + (y - 1) * w;
        const uint8_t* mid = up + w;
        const uint8_t* down = mid + w;
        for (uint64_t x = 1; x + 1 < w; ++x) {
            const SobelPair g = sobelAt(up, mid, down, x);
            store(rowX + x, rowY + x, g.gx, g.gy);
        }
        rowX[w - 1] = 0;
        rowY[w - 1] = 0;
    }
}

}  // namespace

double sobel(const Image* src, const Image32* destX, const Image32* destY) {
    assert(src->h == destX->h && src->w == destX->w);
    assert(src->h == destY->h && src->w == destY->w);
    // Every term is a whole number below 2^22, so a 64-bit integer total is exact
    // and equals the double accumulation for any plane that fits in memory.
    uint64_t energy = 0;
    sobelWalk(src, destX->data, destY->data, [&energy](int32_t* outX, int32_t* outY, int32_t gx, int32_t gy) {
        *outX = gx;
        *outY = gy;
        energy += static_cast<uint64_t>(gy * gy + gx * gx);
    });
    return std::sqrt(static_cast<double>(energy));
}

int32_t sobel2(const Image* src, const Image* destX, const Image* destY) {
    assert(src->h == destX->h && src->w == destX->w);
    assert(src->h == destY->h && src->w == destY->w);
    // The magnitude of a pair of bytes is below 361 and never within 2^-22 of a whole
    // number unless it is one, so adding its integer part is what adding it to the
    // whole-number total and truncating gives. The total wraps instead of overflowing.
    uint32_t total = 0;
    sobelWalk(src, destX->data, destY->data, [&total](uint8_t* outX, uint8_t* outY, int32_t gx, int32_t gy) {
        *outX = static_cast<uint8_t>(gx);
        *outY = static_cast<uint8_t>(gy);
        const int32_t x = *outX;
        const int32_t y = *outY;
        total += static_cast<uint32_t>(std::sqrt(static_cast<double>(x * x + y * y)));
    });
    return static_cast<int32_t>(total);
}

void absGradient(const Image* src, const Image32* destX, const Image32* destY) {
    assert(src->h == destX->h && src->w == destX->w);
    assert(src->h == destY->h && src->w == destY->w);
    const uint64_t w = src->w;
    const uint64_t h = src->h;
    if (w == 0 || h == 0) return;
    std::memset(destX->data, 0, w * sizeof(int32_t));
    std::memset(destY->data, 0, w * sizeof(int32_t));
    for (uint64_t y = 1; y < h; ++y) {
        const uint8_t* up = src->data + (y - 1) * w;
        const uint8_t* row = up + w;
        int32_t* rowX = destX->data + y * w;
        int32_t* rowY = destY->data + y * w;
        rowX[0] = 0;
        rowY[0] = 0;
        for (uint64_t x = 1; x < w; ++x) {
            const int32_t v = row[x];
            const int32_t dx = v - row[x - 1];
            const int32_t dy = v - up[x];
            rowX[x] = dx < 0 ? -dx : dx;
            rowY[x] = dy < 0 ? -dy : dy;
        }
    }
}

void imageSqrt(const ImageDouble* src, const ImageDouble* dest) {
    assert(src->w * src->h == dest->w *dest->h);
    const uint64_t n = src->w * src->h;
    for (uint64_t i = 0; i < n; ++i) dest->data[i] = std::sqrt(src->data[i]);
}
