#include "tools/filtering.h"

#include <cassert>
#include <cmath>
#include <cstdio>


void gradient(const Image* src, Image32* destX, Image32* destY) {
    assert(src->h == destX->h && src->w == destX->w);
    assert(src->h == destY->h && src->w == destY->w);
    const uint64_t w = src->w;
    const uint64_t h = src->h;
    if (w == 0 || h == 0) return;

    for (uint64_t x = 0; x < w; ++x) {
        destX->data[x] = 0;
        destY->data[x] = 0;
    }
    for (uint64_t y = 1; y < h; ++y) {
        const uint8_t* row = src->data + y * w;
        const uint8_t* up = row - w;
        int32_t* dx = destX->data + y * w;
        int32_t* dy = destY->data + y * w;
        dx[0] = 0;
        dy[0] = 0;
        for (uint64_t x = 1; x < w; ++x) {
            dx[x] = int32_t{row[x]} - int32_t{row[x - 1]};
            dy[x] = int32_t{row[x]} - int32_t{up[x]};
        }
    }
}

void calculateStdDevs(const Image* src, Image32* sums, Image32* squares, ImageDouble* dest, uint64_t blockW,
                      uint64_t blockH) {
    const uint64_t nbx = sums->w;
    const uint64_t nby = sums->h;
    const double n = static_cast<double>(blockW * blockH);

    for (uint64_t by = 0; by < nby; ++by) {
        int32_t* s = sums->data + by * nbx;
        int32_t* q = squares->data + by * nbx;
        for (uint64_t y = by * blockH; y < (by + 1) * blockH; ++y) {
            const uint8_t* row = src->data + y * src->w;
            for (uint64_t bx = 0; bx < nbx; ++bx) {
                const uint8_t* block = row + bx * blockW;
                // Integer totals: wrapping unsigned arithmetic keeps them exact in
                // any order and free of signed overflow.
                uint32_t sum = 0;
                uint32_t square = 0;
                for (uint64_t x = 0; x < blockW; ++x) {
                    const uint32_t v = block[x];
                    sum += v;
                    square += v * v;
                }
                s[bx] = static_cast<int32_t>(static_cast<uint32_t>(s[bx]) + sum);
                q[bx] = static_cast<int32_t>(static_cast<uint32_t>(q[bx]) + square);
            }
        }
        double* d = dest->data + by * nbx;
        for (uint64_t bx = 0; bx < nbx; ++bx) {
            const double total = static_cast<double>(s[bx]);
            const double totalSquares = static_cast<double>(q[bx]);
            d[bx] = std::sqrt((totalSquares - total * total / n) / (n - 1.0));
        }
    }
}

int32_t filter(const Image* src, ImageDouble* dest, const ImageDouble* kernel, int32_t nBlocks, uint32_t blockW,
               uint32_t blockH) {
    if (src->w != dest->w || src->h != dest->h) {
        puts("Source and destination images do not match with their size!");
        return -1;
    }
    if (src->h < kernel->h) {
        puts("Source image is to small for that kernel!");
        return -1;
    }
    if (nBlocks <= 0) return 0;

    const uint64_t r = kernel->w / 2;
    const uint64_t kw = kernel->w;
    const uint64_t kh = kernel->h;
    const uint64_t bw = blockW;
    const uint64_t bh = blockH;
    const uint64_t blocks = static_cast<uint64_t>(nBlocks);

    // Every sample the windows read, and every sample written, must lie inside the
    // planes: the strip must fit, and a kernel taller than 2r + 1 reaches below
    // its block's last row.
    const bool hasInterior = bw > 2 * r && bh > 2 * r;
    if (blocks * bw > src->w || bh > src->h || (hasInterior && kh > 0 && bh + kh > src->h + 2 * r + 1)) {
        puts("Source image is to small for that kernel!");
        return -1;
    }
    if (!hasInterior) return 0;

    const uint64_t stride = src->w;
    for (uint64_t i = 0; i < blocks; ++i) {
        for (uint64_t y = r; y < bh - r; ++y) {
            double* out = dest->data + y * stride;
            for (uint64_t x = r; x < bw - r; ++x) {
                const uint64_t col = i * bw + x;
                double acc = 0.0;
                for (uint64_t ky = 0; ky < kh; ++ky) {
                    const uint8_t* window = src->data + (y - r + ky) * stride + (col - r);
                    const double* weights = kernel->data + ky * kw;
                    for (uint64_t kx = 0; kx < kw; ++kx) acc += static_cast<double>(window[kx]) * weights[kx];
                }
                out[col] = acc;
            }
        }
    }
    return 0;
}

void calculateInteriorStdDevs(const ImageDouble* src, ImageDouble* sums, ImageDouble* squares, ImageDouble* dest,
                              const ImageDouble* kernel, uint64_t blockW, uint64_t blockH) {
    if (kernel->w != kernel->h) {
        fputs("Provided kernel is not symmetric!", stdout);
        return;
    }
    const uint64_t r = kernel->w / 2;
    const uint64_t nbx = sums->w;
    const uint64_t nby = sums->h;
    const double n = static_cast<double>((blockW - 2 * r) * (blockH - 2 * r));

    for (uint64_t by = 0; by < nby; ++by) {
        double* s = sums->data + by * nbx;
        double* q = squares->data + by * nbx;
        for (uint64_t y = by * blockH + r; y < (by + 1) * blockH - r; ++y) {
            const double* row = src->data + y * src->w;
            for (uint64_t bx = 0; bx < nbx; ++bx) {
                const double* block = row + bx * blockW;
                // Each block's samples are added one by one in row order.
                double sum = s[bx];
                double square = q[bx];
                for (uint64_t x = r; x < blockW - r; ++x) {
                    const double v = block[x];
                    sum += v;
                    square += v * v;
                }
                s[bx] = sum;
                q[bx] = square;
            }
        }
        double* d = dest->data + by * nbx;
        for (uint64_t bx = 0; bx < nbx; ++bx) d[bx] = std::sqrt((q[bx] - s[bx] * s[bx] / n) / (n - 1.0));
    }
}

ImageDouble blockDeviations(const Image& frame, uint32_t blockSize, BlockDeviationBuffers& buffers) {
    const uint64_t nbx = static_cast<uint32_t>(frame.w) / blockSize;
    const uint64_t nby = static_cast<uint32_t>(frame.h) / blockSize;
    ImageDouble dev = planeIn(buffers.deviations, nbx, nby);
    Image32 sums = clearedPlaneIn(buffers.sums, nbx, nby);
    Image32 squares = clearedPlaneIn(buffers.squares, nbx, nby);
    calculateStdDevs(&frame, &sums, &squares, &dev, blockSize, blockSize);
    return dev;
}
