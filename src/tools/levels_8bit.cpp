#include "tools/levels_8bit.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

namespace {

constexpr std::size_t kPairs = 65536;

// The R, G, B bounds of every chroma pair: an integer s lies below a real bound a exactly
// when s < ceil(a), above b exactly when s > floor(b). Clamped to -1 .. 256, which no 8-bit
// sample passes, so that they fit 16 bits.
void makePairBounds(const Picture& picture, int low, int high, PairEntry* table) {
    const ChromaReach k = chromaReachOf(picture);
    const auto whole = [](double v) { return static_cast<int16_t>(std::clamp(v, -1.0, 256.0)); };
    for (std::size_t pair = 0; pair < kPairs; ++pair) {
        const double u = static_cast<double>(static_cast<int>(pair >> 8) - 128);
        const double v = static_cast<double>(static_cast<int>(pair & 0xFF) - 128);
        const double dr = k.r * v, db = k.b * u, dg = k.gb * u + k.gr * v;
        table[pair].low = whole(std::ceil(low - std::min({dr, db, dg})));
        table[pair].high = whole(std::floor(high - std::max({dr, db, dg})));
    }
}

// Adds a row's samples to four interleaved partial histograms, so that equal neighbours do
// not wait on each other's count.
void addRow(const uint8_t* row, uint32_t n, uint32_t* partial) {
    uint32_t x = 0;
    for (; x + 4 <= n; x += 4) {
        ++partial[row[x]];
        ++partial[256 + row[x + 1]];
        ++partial[512 + row[x + 2]];
        ++partial[768 + row[x + 3]];
    }
    for (; x < n; ++x) ++partial[row[x]];
}

bool outsideBroadcastChroma(uint8_t c) { return c < 16 || c > 240; }

}  // namespace

void measureLevels8(const Picture& picture, int low, int high, Levels8Work& work, OutsideRowCount* rowCount,
                    Levels8& out) {
    const SamplePlane& luma = picture.planes[0];
    const SamplePlane& cb = picture.planes[1];
    const SamplePlane& cr = picture.planes[2];
    const std::size_t w = luma.width;

    // The bounds depend on the matrix, the range and the limits only: made again when one changes.
    const uint64_t key = (static_cast<uint64_t>(picture.matrix) << 40) | (uint64_t{picture.fullRange} << 32) |
                         (static_cast<uint64_t>(static_cast<uint16_t>(low)) << 16) | static_cast<uint16_t>(high);
    PairEntry* pairs = work.pairs.take(kPairs);
    if (work.boundsKey != key) {
        makePairBounds(picture, low, high, pairs);
        work.boundsKey = key;
    }
    for (std::size_t pair = 0; pair < kPairs; ++pair) pairs[pair].count = 0;
    uint32_t* partial = work.counts.take(1024);
    std::fill(partial, partial + 1024, 0u);
    // Bounds per luma place: R, G and B's, and the broadcast range's (the luma range, or one
    // that no sample meets, 256 .. 235, where the chroma is outside its own).
    int16_t* rgbLow = work.rows.take(4 * w);
    int16_t* rgbHigh = rgbLow + w;
    int16_t* rangeLow = rgbHigh + w;
    int16_t* rangeHigh = rangeLow + w;
    std::fill(rangeHigh, rangeHigh + w, int16_t{235});

    out.broadcastOutside = out.rgbOutside = 0;
    const uint32_t sx = placesPerChroma(luma.width, cb.width), sy = placesPerChroma(luma.height, cb.height);
    for (uint32_t cy = 0; cy < cb.height && cy * sy < luma.height; ++cy) {
        const uint8_t* ru = cb.data + static_cast<std::ptrdiff_t>(cy) * cb.stride;
        const uint8_t* rv = cr.data + static_cast<std::ptrdiff_t>(cy) * cr.stride;
        const auto fill = [&](auto step) {
            for (uint32_t cx = 0; cx < cb.width; ++cx) {
                const uint32_t pair = (uint32_t{ru[cx]} << 8) | rv[cx];
                PairEntry& b = pairs[pair];
                ++b.count;
                const auto rangeFrom =
                    static_cast<int16_t>(outsideBroadcastChroma(ru[cx]) || outsideBroadcastChroma(rv[cx]) ? 256 : 16);
                const std::size_t end = std::min<std::size_t>(w, std::size_t{cx + 1} * step);
                for (std::size_t x = std::size_t{cx} * step; x < end; ++x) {
                    rgbLow[x] = b.low;
                    rgbHigh[x] = b.high;
                    rangeLow[x] = rangeFrom;
                }
            }
        };
        // The usual steps as constants, so that their places are written without a loop.
        if (sx == 1)
            fill(std::integral_constant<uint32_t, 1>{});
        else if (sx == 2)
            fill(std::integral_constant<uint32_t, 2>{});
        else
            fill(sx);
        // The luma rows of this chroma row; the last chroma row also takes rows beyond its share.
        const uint32_t last = cy + 1 == cb.height ? luma.height : std::min(luma.height, (cy + 1) * sy);
        for (uint32_t y = cy * sy; y < last; ++y) {
            const uint8_t* row = luma.data + static_cast<std::ptrdiff_t>(y) * luma.stride;
            addRow(row, luma.width, partial);
            out.rgbOutside += rowCount(row, rgbLow, rgbHigh, w);
            out.broadcastOutside += rowCount(row, rangeLow, rangeHigh, w);
        }
    }
    for (std::size_t v = 0; v < 256; ++v)
        out.luma[v] = uint64_t{partial[v]} + partial[256 + v] + partial[512 + v] + partial[768 + v];
    out.cb.fill(0);
    out.cr.fill(0);
    for (std::size_t pair = 0; pair < kPairs; ++pair) {
        out.cb[pair >> 8] += pairs[pair].count;
        out.cr[pair & 0xFF] += pairs[pair].count;
    }
    out.pairs = pairs;
}
