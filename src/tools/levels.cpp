#include "tools/levels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

template <typename T>
void addRows(const SamplePlane& p, uint64_t* bins) {
    for (uint32_t y = 0; y < p.height; ++y) {
        const T* row = reinterpret_cast<const T*>(p.data + static_cast<std::ptrdiff_t>(y) * p.stride);
        for (uint32_t x = 0; x < p.width; ++x) ++bins[row[x]];
    }
}

template <typename T>
uint64_t differenceRows(const SamplePlane& a, const SamplePlane& b) {
    uint64_t sum = 0;
    for (uint32_t y = 0; y < a.height; ++y) {
        const T* ra = reinterpret_cast<const T*>(a.data + static_cast<std::ptrdiff_t>(y) * a.stride);
        const T* rb = reinterpret_cast<const T*>(b.data + static_cast<std::ptrdiff_t>(y) * b.stride);
        uint32_t row = 0;  // at most 65535 per sample: a row of 65536 samples fits
        for (uint32_t x = 0; x < a.width; ++x) row += static_cast<uint32_t>(std::abs(int{ra[x]} - int{rb[x]}));
        sum += row;
    }
    return sum;
}

// Kr and Kb of each matrix (ITU-R BT.601, BT.709, BT.2020).
struct Weights {
    double kr, kb;
};
Weights weightsOf(ColourMatrix m) {
    switch (m) {
        case ColourMatrix::Bt601: return {0.299, 0.114};
        case ColourMatrix::Bt2020: return {0.2627, 0.0593};
        case ColourMatrix::Bt709: break;
    }
    return {0.2126, 0.0722};
}

}  // namespace

void addHistogram(const SamplePlane& plane, int depth, uint64_t* bins) {
    if (depth > 8)
        addRows<uint16_t>(plane, bins);
    else
        addRows<uint8_t>(plane, bins);
}

uint64_t absoluteDifferenceSum(const SamplePlane& a, const SamplePlane& b, int depth) {
    return depth > 8 ? differenceRows<uint16_t>(a, b) : differenceRows<uint8_t>(a, b);
}

uint32_t percentileOf(const uint64_t* bins, uint32_t size, uint64_t total, double share) {
    const auto target =
        std::max<uint64_t>(1, static_cast<uint64_t>(std::floor(static_cast<double>(total) * share + 0.5)));
    uint64_t running = 0;
    for (uint32_t v = 0; v < size; ++v) {
        running += bins[v];
        if (running >= target) return v;
    }
    return size - 1;
}

uint32_t medianOf(const uint64_t* bins, uint32_t size, uint64_t total) {
    uint64_t running = 0;
    for (uint32_t v = 0; v < size; ++v) {
        running += bins[v];
        if (running > total / 2) return v;
    }
    return size - 1;
}

ChromaReach chromaReachOf(const Picture& picture) {
    const Weights k = weightsOf(picture.matrix);
    const int depth = picture.bitDepth;
    const double maxCode = std::ldexp(1.0, depth) - 1;
    const double lumaSpan = picture.fullRange ? maxCode : 219.0 * std::ldexp(1.0, depth - 8);
    const double chromaSpan = picture.fullRange ? maxCode : 224.0 * std::ldexp(1.0, depth - 8);
    const double scale = lumaSpan / chromaSpan;
    const double r = 2 * (1 - k.kr) * scale, b = 2 * (1 - k.kb) * scale;
    const double kg = 1 - k.kr - k.kb;
    return {r, b, -k.kr * r / kg, -k.kb * b / kg};
}

OutsideCounts countOutside(const Picture& picture, int low, int high) {
    OutsideCounts counts;
    const int depth = picture.bitDepth;
    const SamplePlane& luma = picture.planes[0];
    if (picture.planeCount < 3) {
        for (uint32_t y = 0; y < luma.height; ++y)
            for (uint32_t x = 0; x < luma.width; ++x) {
                const auto v = static_cast<int>(sampleAt(luma, depth, x, y));
                counts.luma += v < low || v > high;
            }
        counts.rgb = counts.luma;
        return counts;
    }
    const SamplePlane& cb = picture.planes[1];
    const SamplePlane& cr = picture.planes[2];
    const ChromaReach k = chromaReachOf(picture);
    const int middle = 1 << (depth - 1);
    const uint32_t sx = placesPerChroma(luma.width, cb.width), sy = placesPerChroma(luma.height, cb.height);
    for (uint32_t y = 0; y < luma.height; ++y) {
        const uint32_t cy = std::min(y / sy, cb.height - 1);
        for (uint32_t cx = 0; cx < cb.width; ++cx) {
            const double u = static_cast<double>(static_cast<int>(sampleAt(cb, depth, cx, cy)) - middle);
            const double v = static_cast<double>(static_cast<int>(sampleAt(cr, depth, cx, cy)) - middle);
            // Y must lie in [low - d, high - d] for each of the three offsets d.
            const double dr = k.r * v, db = k.b * u, dg = k.gb * u + k.gr * v;
            const double most = std::max({dr, db, dg}), least = std::min({dr, db, dg});
            const double lowest = low - least, highest = high - most;
            const uint32_t end = std::min(luma.width, (cx + 1) * sx);
            for (uint32_t x = cx * sx; x < end; ++x) {
                const auto s = static_cast<int>(sampleAt(luma, depth, x, y));
                counts.luma += s < low || s > high;
                counts.rgb += s < lowest || s > highest;
            }
        }
    }
    return counts;
}
