// Backward differences, per-block standard deviations and a block-wise kernel
// filter. None of these allocate: the caller creates every output plane.
#pragma once

#include <cstdint>

#include "tools/image.h"
#include "tools/workspace.h"

// destX[y][x] = src[y][x] - src[y][x-1], destY[y][x] = src[y][x] - src[y-1][x];
// row 0 and column 0 of both are 0. Both outputs must have the size of src.
void gradient(const Image* src, Image32* destX, Image32* destY);

// Sample standard deviation (divisor N - 1) of every blockW x blockH block of src.
// The grid is sums->w blocks across and sums->h down; sums and squares must hold
// zeros on entry and receive each block's total and total of squares, dest the
// deviation, all at [by][bx] with sums->w as the row stride.
void calculateStdDevs(const Image* src, Image32* sums, Image32* squares, ImageDouble* dest, uint64_t blockW,
                      uint64_t blockH);

// Correlates each of nBlocks blockW x blockH blocks laid side by side along the top
// of src with the kernel, writing only each block's interior (a frame of
// kernel->w / 2 samples is left as it was). Returns 0, or prints a message and
// returns -1 when the planes differ in size or the source is too small for the
// kernel or the strip.
int32_t filter(const Image* src, ImageDouble* dest, const ImageDouble* kernel, int32_t nBlocks, uint32_t blockW,
               uint32_t blockH);

// Like calculateStdDevs on a double plane, but over each block's interior only:
// the frame of kernel->w / 2 samples is left out. Only the kernel's size is read;
// a non-square kernel prints a message and writes nothing.
void calculateInteriorStdDevs(const ImageDouble* src, ImageDouble* sums, ImageDouble* squares, ImageDouble* dest,
                              const ImageDouble* kernel, uint64_t blockW, uint64_t blockH);

struct BlockDeviationBuffers {
    Reusable<double> deviations;
    Reusable<int32_t> sums;
    Reusable<int32_t> squares;
};

// Local deviation of every whole blockSize x blockSize block of the frame, as
// calculateStdDevs gives it, in `buffers.deviations` (returned).
ImageDouble blockDeviations(const Image& frame, uint32_t blockSize, BlockDeviationBuffers& buffers);
