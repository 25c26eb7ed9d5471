// Contrast as the deviation of the luma samples.
#pragma once

#include <cstdint>

#include "tools/image.h"

// Sample standard deviation (n - 1 denominator) of every sample of the frame.
// A uniform frame gives 0, a frame of one sample not-a-number.
double contrastRMS(const Image& frame);

// Sets sum and squareSum to the sum of the samples and of their squares, both
// exact; returns the sum.
uint64_t sumAndSquareSum(const Image& frame, uint64_t& sum, uint64_t& squareSum);
