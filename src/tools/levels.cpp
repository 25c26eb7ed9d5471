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

uint64_t countOutsideBounds(const uint8_t* samples, const int16_t* low, const int16_t* high, std::size_t n) {
    uint64_t count = 0;
    for (std::size_t i = 0; i < n; ++i) count += samples[i] < low[i] || samples[i] > high[i];
    return count;
}

OutsideCounts countOutside(const Picture& picture, int low, int high, Reusable<int16_t>& bounds,
                           OutsideRowCount* rowCount) {
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
    // Chroma's reach in luma codes: R = Y + r*Cr, B = Y + b*Cb, G = Y + gb*Cb + gr*Cr, with
    // Cb and Cr the chroma's distance from its middle code.
    const Weights k = weightsOf(picture.matrix);
    const double maxCode = std::ldexp(1.0, depth) - 1;
    const double lumaSpan = picture.fullRange ? maxCode : 219.0 * std::ldexp(1.0, depth - 8);
    const double chromaSpan = picture.fullRange ? maxCode : 224.0 * std::ldexp(1.0, depth - 8);
    const double scale = lumaSpan / chromaSpan;
    const double r = 2 * (1 - k.kr) * scale, b = 2 * (1 - k.kb) * scale;
    const double kg = 1 - k.kr - k.kb;
    const double gr = -k.kr * r / kg, gb = -k.kb * b / kg;
    const int middle = 1 << (depth - 1);
    const uint32_t sx = luma.width > cb.width ? (cb.width ? (luma.width + cb.width - 1) / cb.width : 1) : 1;
    const uint32_t sy = luma.height > cb.height ? (cb.height ? (luma.height + cb.height - 1) / cb.height : 1) : 1;
    if (depth == 8 && cb.width > 0 && cb.height > 0) {
        // Bounds of every luma place in whole codes, made once per chroma row: an integer s
        // lies below a real bound a exactly when s < ceil(a), above b exactly when s > floor(b).
        // Clamped to -1 .. 256, which no 8-bit sample passes, so that they fit 16 bits.
        const std::size_t w = luma.width;
        int16_t* lumaLow = bounds.take(4 * w);
        int16_t* lumaHigh = lumaLow + w;
        int16_t* rgbLow = lumaHigh + w;
        int16_t* rgbHigh = rgbLow + w;
        std::fill(lumaLow, lumaLow + w, static_cast<int16_t>(low));
        std::fill(lumaHigh, lumaHigh + w, static_cast<int16_t>(high));
        const auto whole = [](double v) { return static_cast<int16_t>(std::clamp(v, -1.0, 256.0)); };
        uint32_t made = UINT32_MAX;
        for (uint32_t y = 0; y < luma.height; ++y) {
            const uint32_t cy = std::min(y / sy, cb.height - 1);
            if (cy != made) {
                for (uint32_t cx = 0; cx < cb.width; ++cx) {
                    const double u = static_cast<double>(static_cast<int>(sampleAt(cb, depth, cx, cy)) - middle);
                    const double v = static_cast<double>(static_cast<int>(sampleAt(cr, depth, cx, cy)) - middle);
                    const double dr = r * v, db = b * u, dg = gb * u + gr * v;
                    const int16_t lowest = whole(std::ceil(low - std::min({dr, db, dg})));
                    const int16_t highest = whole(std::floor(high - std::max({dr, db, dg})));
                    const uint32_t end = std::min(luma.width, (cx + 1) * sx);
                    for (uint32_t x = cx * sx; x < end; ++x) {
                        rgbLow[x] = lowest;
                        rgbHigh[x] = highest;
                    }
                }
                made = cy;
            }
            const uint8_t* row = luma.data + static_cast<std::ptrdiff_t>(y) * luma.stride;
            counts.luma += rowCount(row, lumaLow, lumaHigh, w);
            counts.rgb += rowCount(row, rgbLow, rgbHigh, w);
        }
        return counts;
    }
    for (uint32_t y = 0; y < luma.height; ++y) {
        const uint32_t cy = std::min(y / sy, cb.height - 1);
        for (uint32_t cx = 0; cx < cb.width; ++cx) {
            const double u = static_cast<double>(static_cast<int>(sampleAt(cb, depth, cx, cy)) - middle);
            const double v = static_cast<double>(static_cast<int>(sampleAt(cr, depth, cx, cy)) - middle);
            // Y must lie in [low - d, high - d] for each of the three offsets d.
            const double dr = r * v, db = b * u, dg = gb * u + gr * v;
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
