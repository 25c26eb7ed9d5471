#include "indicators/signal_levels.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kernels/kernels.h"
#include "tools/levels.h"
#include "tools/levels_8bit.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Minimum, 10th percentile, mean, 90th percentile and maximum of a histogram, into out[0..4].
void readHistogram(const uint64_t* bins, uint32_t size, double* out) {
    uint64_t total = 0;
    double sum = 0;
    uint32_t lowest = size, highest = 0;
    for (uint32_t v = 0; v < size; ++v) {
        if (bins[v] == 0) continue;
        total += bins[v];
        sum += static_cast<double>(bins[v]) * v;
        lowest = std::min(lowest, v);
        highest = v;
    }
    if (total == 0) {
        std::fill(out, out + 5, 0.0);
        return;
    }
    out[0] = lowest;
    out[1] = percentileOf(bins, size, total, 0.10);
    out[2] = sum / static_cast<double>(total);
    out[3] = percentileOf(bins, size, total, 0.90);
    out[4] = highest;
}

uint64_t samplesOf(const SamplePlane& p) { return uint64_t{p.width} * p.height; }

// Saturation is the chroma's distance from grey and hue its angle, counted in whole levels
// (rounded down), hue from 0 to 360 degrees; u and w are Cb and Cr less their middle code.
struct Colour {
    uint32_t sat, hue;
};
Colour colourOf(int u, int w, uint32_t satSize) {
    const auto sat =
        std::min(static_cast<uint32_t>(std::hypot(static_cast<double>(u), static_cast<double>(w))), satSize - 1);
    const auto hue = std::min(
        static_cast<uint32_t>(std::atan2(static_cast<double>(u), static_cast<double>(w)) * 180.0 / kPi + 180.0), 360u);
    return {sat, hue};
}

uint32_t satSizeOf(int depth) { return static_cast<uint32_t>((1 << (depth - 1)) * std::sqrt(2.0)) + 2; }

// The colour of every 8-bit chroma pair (Cb << 8 | Cr), made once.
const Colour* pairColours() {
    static const std::vector<Colour> table = [] {
        std::vector<Colour> t(65536);
        for (uint32_t pair = 0; pair < 65536; ++pair)
            t[pair] = colourOf(static_cast<int>(pair >> 8) - 128, static_cast<int>(pair & 0xFF) - 128, satSizeOf(8));
        return t;
    }();
    return table.data();
}

// The fast pass takes pictures of three 8-bit planes whose chroma samples each cover whole
// luma places, as every subsampling does.
bool fitsFastPass(const Picture& picture) {
    if (picture.bitDepth != 8 || picture.planeCount < 3) return false;
    const SamplePlane &y = picture.planes[0], &u = picture.planes[1], &v = picture.planes[2];
    if (u.width != v.width || u.height != v.height || u.width == 0 || u.height == 0) return false;
    return (u.width - 1) * placesPerChroma(y.width, u.width) < y.width &&
           (u.height - 1) * placesPerChroma(y.height, u.height) < y.height;
}

uint64_t outsideOf(const std::array<uint64_t, 256>& bins, int low, int high) {
    uint64_t n = 0;
    for (int v = 0; v < 256; ++v) n += v < low || v > high ? bins[static_cast<std::size_t>(v)] : 0;
    return n;
}

}  // namespace

R103Limits r103Limits(int depth, bool fullRange) {
    if (fullRange) return {0, (1 << depth) - 1};  // -5 % and 105 % lie beyond the codes
    return {5 << (depth - 8), 246 << (depth - 8)};
}

void measureLevels(const Picture& picture, const Picture* previous, LevelsWork& work, PictureLevels& out) {
    const int depth = std::clamp(picture.bitDepth, 8, 16);
    const uint32_t size = 1u << depth;
    const int middle = 1 << (depth - 1);
    const R103Limits limits = r103Limits(depth, picture.fullRange);
    const bool fast = fitsFastPass(picture);
    Levels8& eight = work.eight;
    if (fast) measureLevels8(picture, limits.low, limits.high, work.eightWork, activeKernels().outsideBounds, eight);
    auto& v = out.stats.values;
    out.stats.bitDepth = depth;
    uint64_t* bins = work.bins.take(size);
    for (int p = 0; p < 3; ++p) {
        double* five = v.data() + YMIN + 5 * p;
        if (p >= picture.planeCount) {
            std::fill(five, five + 5, static_cast<double>(middle));
            v[static_cast<std::size_t>(YDIF + p)] = 0;
            continue;
        }
        const SamplePlane& plane = picture.planes[static_cast<std::size_t>(p)];
        if (fast) {
            readHistogram(p == 0 ? eight.luma.data() : p == 1 ? eight.cb.data() : eight.cr.data(), 256, five);
        } else {
            std::fill(bins, bins + size, uint64_t{0});
            addHistogram(plane, depth, bins);
            readHistogram(bins, size, five);
        }
        const bool comparable = previous != nullptr && previous->planeCount > p &&
                                previous->bitDepth == picture.bitDepth &&
                                previous->planes[static_cast<std::size_t>(p)].width == plane.width &&
                                previous->planes[static_cast<std::size_t>(p)].height == plane.height;
        const uint64_t n = samplesOf(plane);
        v[static_cast<std::size_t>(YDIF + p)] =
            comparable && n > 0 ? static_cast<double>(absoluteDifferenceSum(
                                      plane, previous->planes[static_cast<std::size_t>(p)], depth)) /
                                      static_cast<double>(n)
                                : 0.0;
    }

    const uint32_t satSize = satSizeOf(depth);
    uint64_t* satBins = work.bins.take(size + satSize + 361) + size;
    uint64_t* hueBins = satBins + satSize;
    std::fill(satBins, satBins + satSize + 361, uint64_t{0});
    uint64_t chroma = 0, outside = 0, satSum = 0, hueSum = 0;
    const SamplePlane& luma = picture.planes[0];
    const auto addColour = [&](Colour c, uint64_t count) {
        satSum += c.sat * count;
        hueSum += c.hue * count;
        satBins[c.sat] += count;
        hueBins[c.hue] += count;
    };
    if (fast) {
        // Pictures hold few distinct pairs: each is measured once, by the table.
        const Colour* colours = pairColours();
        for (uint32_t pair = 0; pair < 65536; ++pair)
            if (eight.pairs[pair].count != 0) addColour(colours[pair], eight.pairs[pair].count);
        chroma = samplesOf(picture.planes[1]);
        outside = eight.broadcastOutside;
    } else if (picture.planeCount >= 3) {
        const SamplePlane& cb = picture.planes[1];
        const SamplePlane& cr = picture.planes[2];
        for (uint32_t y = 0; y < cb.height; ++y)
            for (uint32_t x = 0; x < cb.width; ++x)
                addColour(colourOf(static_cast<int>(sampleAt(cb, depth, x, y)) - middle,
                                   static_cast<int>(sampleAt(cr, depth, x, y)) - middle, satSize),
                          1);
        chroma = samplesOf(cb);
        // Broadcast range: every luma sample with the chroma of its place.
        const int shift = depth - 8;
        const auto lumaLow = static_cast<uint32_t>(16 << shift), lumaHigh = static_cast<uint32_t>(235 << shift);
        const auto chromaLow = static_cast<uint32_t>(16 << shift), chromaHigh = static_cast<uint32_t>(240 << shift);
        const uint32_t sx = placesPerChroma(luma.width, cb.width), sy = placesPerChroma(luma.height, cb.height);
        for (uint32_t y = 0; y < luma.height && cb.width > 0 && cb.height > 0; ++y)
            for (uint32_t x = 0; x < luma.width; ++x) {
                const uint32_t cx = std::min(x / sx, cb.width - 1), cy = std::min(y / sy, cb.height - 1);
                const uint32_t ys = sampleAt(luma, depth, x, y), us = sampleAt(cb, depth, cx, cy),
                               vs = sampleAt(cr, depth, cx, cy);
                outside += ys < lumaLow || ys > lumaHigh || us < chromaLow || us > chromaHigh || vs < chromaLow ||
                           vs > chromaHigh;
            }
    }
    double sat[5];
    readHistogram(satBins, satSize, sat);
    std::copy(sat, sat + 5, v.data() + SATMIN);
    const uint64_t pixels = samplesOf(luma);
    v[SATAVG] = chroma ? static_cast<double>(satSum) / static_cast<double>(chroma) : 0.0;
    v[HUEMED] = chroma ? medianOf(hueBins, 361, chroma) : 0.0;
    v[HUEAVG] = chroma ? static_cast<double>(hueSum) / static_cast<double>(chroma) : 0.0;
    v[BRNG] = chroma && pixels ? static_cast<double>(outside) / static_cast<double>(pixels) : 0.0;

    const OutsideCounts counts = fast ? OutsideCounts{outsideOf(eight.luma, limits.low, limits.high), eight.rgbOutside}
                                      : countOutside(picture, limits.low, limits.high);
    out.r103Luma = pixels ? static_cast<double>(counts.luma) / static_cast<double>(pixels) : 0.0;
    out.r103Rgb = pixels ? static_cast<double>(counts.rgb) / static_cast<double>(pixels) : 0.0;
}
