// Counting the levels of a picture's planes at their own depth: histograms of a plane and
// of its chroma pairs, differences between two pictures, and the samples outside limits.
#pragma once

#include <cstdint>

#include <cstddef>

#include "tools/picture.h"
#include "tools/workspace.h"

// Sample `x` of row `y` of a plane of this depth.
inline uint32_t sampleAt(const SamplePlane& p, int depth, uint32_t x, uint32_t y) {
    const uint8_t* row = p.data + static_cast<std::ptrdiff_t>(y) * p.stride;
    return depth > 8 ? reinterpret_cast<const uint16_t*>(row)[x] : row[x];
}

// Adds the plane's samples to bins[value]; bins holds 1 << depth counts.
void addHistogram(const SamplePlane& plane, int depth, uint64_t* bins);

// The sum of |a - b| over two planes of the same size and depth.
uint64_t absoluteDifferenceSum(const SamplePlane& a, const SamplePlane& b, int depth);

// The `share` percentile of a histogram of `total` counts: the first v whose running count
// reaches total * share rounded to the nearest count, as signalstats reads its percentiles.
uint32_t percentileOf(const uint64_t* bins, uint32_t size, uint64_t total, double share);
// The median as signalstats reads it: the first v whose running count exceeds half the total.
uint32_t medianOf(const uint64_t* bins, uint32_t size, uint64_t total);

// How far chroma moves R, G and B from Y, in luma codes per code of Cb or Cr from its middle:
// R = Y + r*Cr, B = Y + b*Cb, G = Y + gb*Cb + gr*Cr.
struct ChromaReach {
    double r, b, gr, gb;
};
ChromaReach chromaReachOf(const Picture& picture);

// Luma places per chroma sample along one side (1, 2 or 4), from the planes' sizes.
inline uint32_t placesPerChroma(uint32_t lumaSize, uint32_t chromaSize) {
    return lumaSize > chromaSize && chromaSize > 0 ? (lumaSize + chromaSize - 1) / chromaSize : 1;
}

// The picture's samples of luma outside [low, high], and of pixels whose R, G or B, made
// by its matrix from Y and the chroma of its place, lies outside [low, high] in luma codes,
// counted sample by sample.
struct OutsideCounts {
    uint64_t luma = 0;
    uint64_t rgb = 0;
};
OutsideCounts countOutside(const Picture& picture, int low, int high);

// Counts i < n with samples[i] < low[i] or samples[i] > high[i]: the outsideBounds kernel.
using OutsideRowCount = uint64_t(const uint8_t* samples, const int16_t* low, const int16_t* high, std::size_t n);
