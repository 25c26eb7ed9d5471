#include "indicators/signal_levels.h"

#include <algorithm>
#include <cmath>

#include "kernels/kernels.h"
#include "tools/levels.h"

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

}  // namespace

R103Limits r103Limits(int depth, bool fullRange) {
    if (fullRange) return {0, (1 << depth) - 1};  // -5 % and 105 % lie beyond the codes
    return {5 << (depth - 8), 246 << (depth - 8)};
}

void measureLevels(const Picture& picture, const Picture* previous, LevelsWork& work, PictureLevels& out) {
    const int depth = std::clamp(picture.bitDepth, 8, 16);
    const uint32_t size = 1u << depth;
    const int middle = 1 << (depth - 1);
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
        std::fill(bins, bins + size, uint64_t{0});
        addHistogram(plane, depth, bins);
        readHistogram(bins, size, five);
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

    // Saturation is the chroma's distance from grey and hue its angle, counted in whole
    // levels (rounded down), hue from 0 to 360 degrees; both per chroma sample.
    const auto satSize = static_cast<uint32_t>(middle * std::sqrt(2.0)) + 2;
    uint64_t* satBins = work.bins.take(size + satSize + 361) + size;
    uint64_t* hueBins = satBins + satSize;
    std::fill(satBins, satBins + satSize + 361, uint64_t{0});
    uint64_t chroma = 0, outside = 0, satSum = 0, hueSum = 0;
    const SamplePlane& luma = picture.planes[0];
    if (picture.planeCount >= 3) {
        const SamplePlane& cb = picture.planes[1];
        const SamplePlane& cr = picture.planes[2];
        // Of one chroma pair, `count` times.
        auto addPair = [&](int us, int vs, uint64_t count) {
            const double u = us - middle, w = vs - middle;
            const auto sat = std::min(static_cast<uint32_t>(std::hypot(u, w)), satSize - 1);
            const auto hue = std::min(static_cast<uint32_t>(std::atan2(u, w) * 180.0 / kPi + 180.0), 360u);
            satSum += sat * count;
            hueSum += hue * count;
            satBins[sat] += count;
            hueBins[hue] += count;
        };
        if (depth == 8) {
            // Pictures hold few distinct pairs: count them, then measure each pair once.
            uint32_t* pairs = work.pairs.take(65536);
            std::fill(pairs, pairs + 65536, 0u);
            for (uint32_t y = 0; y < cb.height; ++y) {
                const uint8_t* ru = cb.data + static_cast<std::ptrdiff_t>(y) * cb.stride;
                const uint8_t* rv = cr.data + static_cast<std::ptrdiff_t>(y) * cr.stride;
                for (uint32_t x = 0; x < cb.width; ++x) ++pairs[(uint32_t{ru[x]} << 8) | rv[x]];
            }
            for (uint32_t pair = 0; pair < 65536; ++pair)
                if (pairs[pair] != 0) addPair(static_cast<int>(pair >> 8), static_cast<int>(pair & 0xFF), pairs[pair]);
        } else {
            for (uint32_t y = 0; y < cb.height; ++y)
                for (uint32_t x = 0; x < cb.width; ++x)
                    addPair(static_cast<int>(sampleAt(cb, depth, x, y)), static_cast<int>(sampleAt(cr, depth, x, y)),
                            1);
        }
        chroma = samplesOf(cb);
        // Broadcast range: every luma sample with the chroma of its place.
        const int shift = depth - 8;
        const auto lumaLow = static_cast<uint32_t>(16 << shift), lumaHigh = static_cast<uint32_t>(235 << shift);
        const auto chromaLow = static_cast<uint32_t>(16 << shift), chromaHigh = static_cast<uint32_t>(240 << shift);
        const uint32_t sx = cb.width ? std::max(1u, luma.width / cb.width) : 1;
        const uint32_t sy = cb.height ? std::max(1u, luma.height / cb.height) : 1;
        if (depth == 8 && cb.width > 0 && cb.height > 0) {
            // A row at a time against bounds of each place, made once per chroma row: the luma
            // range, or none that a sample meets (256 .. 255) where the chroma is outside its own.
            int16_t* low = work.bounds.take(2 * std::size_t{luma.width});
            int16_t* high = low + luma.width;
            std::fill(high, high + luma.width, static_cast<int16_t>(lumaHigh));
            uint32_t made = UINT32_MAX;
            for (uint32_t y = 0; y < luma.height; ++y) {
                const uint32_t cy = std::min(y / sy, cb.height - 1);
                if (cy != made) {
                    const uint8_t* ru = cb.data + static_cast<std::ptrdiff_t>(cy) * cb.stride;
                    const uint8_t* rv = cr.data + static_cast<std::ptrdiff_t>(cy) * cr.stride;
                    for (uint32_t x = 0; x < luma.width; ++x) {
                        const uint32_t cx = std::min(x / sx, cb.width - 1);
                        const bool chromaOutside = ru[cx] < chromaLow || ru[cx] > chromaHigh || rv[cx] < chromaLow ||
                                                   rv[cx] > chromaHigh;
                        low[x] = static_cast<int16_t>(chromaOutside ? 256 : lumaLow);
                    }
                    made = cy;
                }
                outside += activeKernels().outsideBounds(luma.data + static_cast<std::ptrdiff_t>(y) * luma.stride, low,
                                                         high, luma.width);
            }
        } else {
            for (uint32_t y = 0; y < luma.height; ++y)
                for (uint32_t x = 0; x < luma.width; ++x) {
                    const uint32_t cx = std::min(x / sx, cb.width - 1), cy = std::min(y / sy, cb.height - 1);
                    const uint32_t ys = sampleAt(luma, depth, x, y), us = sampleAt(cb, depth, cx, cy),
                                   vs = sampleAt(cr, depth, cx, cy);
                    outside += ys < lumaLow || ys > lumaHigh || us < chromaLow || us > chromaHigh || vs < chromaLow ||
                               vs > chromaHigh;
                }
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

    const R103Limits limits = r103Limits(depth, picture.fullRange);
    const OutsideCounts counts =
        countOutside(picture, limits.low, limits.high, work.bounds, activeKernels().outsideBounds);
    out.r103Luma = pixels ? static_cast<double>(counts.luma) / static_cast<double>(pixels) : 0.0;
    out.r103Rgb = pixels ? static_cast<double>(counts.rgb) / static_cast<double>(pixels) : 0.0;
}
