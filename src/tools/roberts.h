// Roberts cross gradients, gradient energy, sample-wise products and the
// counting of long runs of strong samples per block.
#pragma once

#include <cstdint>

#include "tools/image.h"

// Roberts cross over the whole of `src`; both destinations must have its size.
// destX(x, y) = p(x-1, y-1) - p(x, y) and destY(x, y) = p(x, y-1) - p(x-1, y);
// row 0 and column 0 are set to 0.
void roberts(Image src, Image32 destX, Image32 destY);

// The same cross evaluated only at the source positions (c*stepX, r*stepY),
// packed densely: the size of destX decides the grid and both destinations are
// addressed with its width. Row 0 and column 0 are set to 0. Unchecked: the
// caller guarantees (destX.w - 1)*stepX < src.w, that (destX.h - 1)*stepY is a
// source row, and that destY holds at least as many samples as destX.
void robertsSkip(Image src, Image32 destX, Image32 destY, int32_t stepX, int32_t stepY);

// dest[i] = first[i]^2 + second[i]^2 and dest[i] = first[i] * second[i], in
// wrapping 32-bit arithmetic, over the first operand's w*h samples (taken as a
// signed 32-bit count; nothing is written when it is not positive).
void addSquares32(Image32 first, Image32 second, Image32 dest);
void multiply(Image32 first, Image32 second, Image32 dest);

// Adds to dest(c, r) the number of runs, along each source row of the block of
// blockW x blockH samples at (c, r), of samples strictly greater than
// `threshold`; a run counts once, when it reaches minLength, and never continues
// into the next block or row. The size of dest decides the grid.
void countSeqsH(Image32 src, Image32 dest, uint64_t blockW, uint64_t blockH, int32_t minLength,
                double threshold);

// The same down the columns: a run never continues into the next block row.
// `runs` holds one counter per source column in its first row, zero on entry
// and zero again on return.
void countSeqsV(Image32 src, Image32 dest, Image32 runs, uint64_t blockW, uint64_t blockH, int32_t minLength,
                double threshold);
