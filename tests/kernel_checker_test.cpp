// The kernel checks, in one harness: every variant of every kernel that this CPU can run,
// and every kernel table, against the straightforward function it replaces, on planes
// chosen to reach the kernels' edge paths: sizes that are not a multiple of the vector
// width or the block size, the smallest sizes, rows further apart than the width, the
// extreme sample values.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "indicators/blockiness.h"
#include "indicators/blur.h"
#include "indicators/exposure.h"
#include "indicators/slice.h"
#include "indicators/spatialActivity.h"
#include "kernels/band_repeats_kernel.h"
#include "kernels/block_stats_kernel.h"
#include "kernels/block_sums_kernel.h"
#include "kernels/blockiness_kernel.h"
#include "kernels/blur_kernel.h"
#include "kernels/comb_groups_kernel.h"
#include "kernels/kernels.h"
#include "kernels/residual_deviations_kernel.h"
#include "kernels/sobel_kernel.h"
#include "kernels/strong_bits_kernel.h"
#include "test_support.h"
#include "tools/filtering.h"
#include "tools/sums.h"

namespace {

enum class Pattern {
    Noise, Flat0, Flat255, Extremes, Steps, Ramps, SoftEdges, Blocky, BorderRuns, Combs, Repeats, LongRuns
};

// One jump in the middle of each row with a monotonic run from it to the left or
// the right border, rising or falling, so that the edge walks end on the borders.
uint32_t borderRun(uint32_t x, uint32_t y, uint32_t w) {
    const uint32_t jump = w / 2;
    uint32_t v = 0;
    switch (y % 3) {
        case 0: v = x < jump ? x % 100 : 250; break;
        case 1: v = x < jump ? 5 : 120 + (x - jump) % 130; break;
        default: v = x < jump ? 250 - x % 100 : 3; break;
    }
    return v;
}

// A frame twice over: packed for the reference, and with `padding` stray bytes
// after every row for the kernels.
struct CheckedFrame {
    OwnedImage packed;
    std::vector<uint8_t> padded;
    Plane plane;
    std::string label;

    CheckedFrame(uint32_t w, uint32_t h, uint32_t padding, Pattern pattern, uint32_t seed)
        : packed(w, h), padded(uint64_t{w + padding} * h + 1) {
        std::mt19937 rng(seed);
        auto below = [&](uint32_t n) { return static_cast<uint32_t>(rng() % n); };
        // Random runs of steps and ramps so that blur's walks stop inside rows and at borders.
        std::vector<uint8_t> profile(w);
        uint32_t level = below(256);
        for (uint32_t x = 0; x < w; ++x) {
            if (below(12) == 0) level = below(256);
            if (pattern == Pattern::Ramps && below(3) == 0) level = (level + below(40)) % 256;
            profile[x] = static_cast<uint8_t>(level);
        }
        // Monotonic runs of up to 300 columns, so that edges' walks cross the
        // kernels' 64-sample words and reach the row ends.
        std::vector<uint8_t> runs(w);
        for (uint32_t x = 0, left = 0, step = 0; pattern == Pattern::LongRuns && x < w; ++x, --left) {
            if (left == 0) {
                left = 1 + below(300);
                step = below(2) ? 1 : 255;
                level = below(256);
            }
            level = (level + step * (1 + below(2))) % 256;
            runs[x] = static_cast<uint8_t>(level);
        }
        for (uint32_t y = 0; y < h; ++y) {
            for (uint32_t x = 0; x < w; ++x) {
                uint32_t v = 0;
                switch (pattern) {
                    case Pattern::Noise: v = below(256); break;
                    case Pattern::Flat0: v = 0; break;
                    case Pattern::Flat255: v = 255; break;
                    case Pattern::Extremes: v = below(2) * 255; break;
                    case Pattern::Steps:
                    case Pattern::Ramps: v = profile[(x + y / 5) % w]; break;
                    case Pattern::SoftEdges: v = (below(40) == 0 ? 200u : 40u) + below(3); break;
                    case Pattern::Blocky: v = (x / 8 * 37 + y / 8 * 91) % 256 + below(2); break;
                    case Pattern::BorderRuns: v = borderRun(x, y, w); break;
                    // Lines alternating in a phase that changes every few columns, with
                    // rare equal neighbours: nearly every comb group counts.
                    case Pattern::Combs:
                        v = ((y + x / 3) % 2 ? 200u : 20u) + below(40);
                        if (below(60) == 0) v = y > 0 ? packed.at(x, y - 1) : v;
                        break;
                    // A 16x16 tile with rare changes: most samples repeat 16 down and right.
                    case Pattern::Repeats: v = below(30) == 0 ? below(256) : (x % 16) * 16 + y % 16; break;
                    // The same runs on every row, with a rare steep step.
                    case Pattern::LongRuns: v = below(50) == 0 ? below(256) : runs[x]; break;
                }
                packed.at(x, y) = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
        }
        for (uint8_t& b : padded) b = static_cast<uint8_t>(below(256));
        const uint32_t stride = w + padding;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) padded[uint64_t{y} * stride + x] = packed.at(x, y);
        plane = Plane{padded.data(), static_cast<std::ptrdiff_t>(stride), w, h};
        label = std::to_string(w) + "x" + std::to_string(h) + " stride " + std::to_string(stride) + " pattern " +
                std::to_string(static_cast<int>(pattern)) + " seed " + std::to_string(seed);
    }
};

// Calls `check` on every frame of the set: all patterns at many sizes, packed and padded.
template <typename Check>
void forEachFrame(Check check) {
    const uint32_t sizes[][2] = {{1, 1},   {2, 2},   {3, 3},    {7, 5},    {8, 8},    {15, 16},  {16, 16},
                                 {17, 17}, {33, 31}, {48, 64},  {63, 18},  {64, 48},  {65, 33},  {97, 40},
                                 {129, 67}, {160, 9}, {257, 130}, {300, 17}, {1921, 24}, {16, 48}, {5, 40},
                                 {47, 49}};
    const Pattern patterns[] = {Pattern::Noise, Pattern::Flat0,     Pattern::Flat255, Pattern::Extremes,
                                Pattern::Steps, Pattern::Ramps, Pattern::SoftEdges, Pattern::Blocky,
                                Pattern::BorderRuns, Pattern::Combs, Pattern::Repeats};
    uint32_t seed = 1;
    for (const auto& size : sizes)
        for (Pattern pattern : patterns)
            for (uint32_t padding : {0u, 13u}) check(CheckedFrame(size[0], size[1], padding, pattern, seed++));
    // Last, so that the frames above keep their seeds.
    for (const auto& size : sizes)
        for (uint32_t padding : {0u, 13u}) check(CheckedFrame(size[0], size[1], padding, Pattern::LongRuns, seed++));
}

const Pattern kTablePatterns[] = {Pattern::Noise, Pattern::Flat0, Pattern::Flat255, Pattern::Extremes};

// The kernel tables' checks: two frames of the same set, by pattern number (random,
// all 0, all 255, only 0 and 255).
struct TestPlane : CheckedFrame {
    TestPlane(uint32_t w, uint32_t h, uint32_t pad, int pattern, uint32_t seed)
        : CheckedFrame(w, h, pad, kTablePatterns[pattern], seed) {}
    int at(uint32_t x, uint32_t y) const { return plane.data[y * plane.stride + x]; }
};

struct Shape {
    uint32_t w, h, pad;
};
const Shape kShapes[] = {{1, 1, 0}, {7, 3, 5}, {8, 8, 0}, {17, 9, 3}, {33, 16, 1}, {64, 48, 0}, {301, 67, 19}};

template <typename Check>
void forEveryCase(Check check) {
    uint32_t seed = 1;
    for (const Kernels* table : availableKernels())
        for (const Shape& s : kShapes)
            for (int pattern = 0; pattern < 4; ++pattern) {
                SCOPED_TRACE(std::string(cpuLevelName(table->level)) + " " + std::to_string(s.w) + "x" +
                             std::to_string(s.h) + " pattern " + std::to_string(pattern));
                const TestPlane a(s.w, s.h, s.pad, pattern, seed++);
                const TestPlane b(s.w, s.h, s.pad, pattern == 3 ? 0 : 3 - pattern, seed++);
                check(*table, a, b);
            }
}

template <typename F>
std::vector<KernelVariant<F>> runnable(std::span<const KernelVariant<F>> variants) {
    std::vector<KernelVariant<F>> out;
    for (const KernelVariant<F>& v : variants)
        if (cpuCanRun(v.level)) out.push_back(v);
    return out;
}

// Bit-equal doubles, NaN included.
void expectSameBits(double expected, double actual, const std::string& where) {
    EXPECT_EQ(std::bit_cast<uint64_t>(expected), std::bit_cast<uint64_t>(actual))
        << where << ": expected " << expected << ", got " << actual;
}

}  // namespace

TEST(KernelChecker, EveryKernelOffersAPlainVariantFirst) {
    EXPECT_EQ(blurVariants().front().level, CpuLevel::Plain);
    EXPECT_EQ(blockinessVariants().front().level, CpuLevel::Plain);
    EXPECT_EQ(blockDeviationsVariants().front().level, CpuLevel::Plain);
    EXPECT_EQ(sobelEnergyVariants().front().level, CpuLevel::Plain);
    EXPECT_EQ(blockSums8Variants().front().level, CpuLevel::Plain);
    EXPECT_EQ(combGroupsVariants().front().level, CpuLevel::Plain);
    EXPECT_EQ(bandRepeatsVariants().front().level, CpuLevel::Plain);
    EXPECT_EQ(residualDeviationsVariants().front().level, CpuLevel::Plain);
    EXPECT_EQ(strongBitsVariants().front().level, CpuLevel::Plain);
    EXPECT_EQ(gridStrongBitsVariants().front().level, CpuLevel::Plain);
}

TEST(KernelChecker, BlurMatchesTheReference) {
    const auto variants = runnable(blurVariants());
    forEachFrame([&](const CheckedFrame& f) {
        const double expected = blur(f.packed);
        for (const auto& v : variants) expectSameBits(expected, v.fn(f.plane), std::string(v.name) + " " + f.label);
    });
}

TEST(KernelChecker, BlurMatchesTheReferenceWhereRunsCrossWordsAndStepsTieTheThreshold) {
    const auto variants = runnable(blurVariants());
    auto expectMatch = [&](const OwnedImage& img, const std::string& label) {
        const double expected = blur(img);
        for (const auto& v : variants) expectSameBits(expected, v.fn(planeOf(img)), std::string(v.name) + " " + label);
    };
    // Gentle ramps with one steep step each, whose walks cross the kernels' words
    // and spans of columns (2100 columns: a short third span) or reach the ends of
    // the scanned range, rising and falling; 32 rows, so rows 1 and 30 are scanned.
    OwnedImage ramps(2100, 32);
    for (uint32_t y = 0; y < 32; ++y) {
        auto ramp = [&](uint32_t from, uint32_t to, uint32_t step) {
            for (uint32_t x = from, v = 0; x <= to; ++x) {
                v += x == step ? 60 : 1;
                ramps.at(x, y) = static_cast<uint8_t>(y % 3 == 0 ? 255 - v : v);
            }
        };
        ramp(0, 190, 1 + y % 3);
        ramp(930, 1120, std::array{1024u, 1025u, 1088u, 1089u}[y % 4]);
        ramp(1905, 2099, std::array{2094u, 2093u, 2049u, 2048u}[y % 4]);
    }
    expectMatch(ramps, "ramps");

    // Each scanned row holds 13 steps of 10, one of 20 and nothing else: the
    // threshold, 16 times the mean square, is 16 * 16 * 1700 / (256 * 17) = 100,
    // which the steps of 10 tie and do not pass.
    OwnedImage tie(256, 17);
    for (uint32_t y = 0; y < 17; ++y) {
        int v = 100;
        for (uint32_t x = 0; x < 256; ++x) {
            const int c = static_cast<int>(x) - static_cast<int>(y % 4);
            for (int up : {10, 62, 63, 64, 66, 67, 100, 150, 200}) v += c == up ? 10 : 0;
            for (int down : {20, 110, 160, 210}) v -= c == down ? 10 : 0;
            v += c == 65 ? 20 : 0;
            tie.at(x, y) = static_cast<uint8_t>(v);
        }
    }
    expectMatch(tie, "tie");
}

TEST(KernelChecker, BlockinessMatchesTheReference) {
    const auto variants = runnable(blockinessVariants());
    forEachFrame([&](const CheckedFrame& f) {
        const double expected = blockiness(f.packed);
        for (const auto& v : variants) expectSameBits(expected, v.fn(f.plane), std::string(v.name) + " " + f.label);
    });
}

TEST(KernelChecker, BlockDeviationsMatchTheReferenceForBothBlockSizes) {
    const auto variants = runnable(blockDeviationsVariants());
    forEachFrame([&](const CheckedFrame& f) {
        for (uint32_t size : {8u, 16u}) {
            BlockDeviationBuffers buffers;
            const ImageDouble expected = blockDeviations(f.packed, size, buffers);
            std::vector<double> actual(expected.w * expected.h + 1, -1.0);
            for (const auto& v : variants) {
                v.fn(f.plane, size, actual.data());
                for (uint64_t i = 0; i < expected.w * expected.h; ++i)
                    expectSameBits(expected.data[i], actual[i],
                                   std::string(v.name) + " size " + std::to_string(size) + " block " +
                                       std::to_string(i) + " " + f.label);
                EXPECT_EQ(actual.back(), -1.0) << v.name << " wrote past the grid, " << f.label;
            }
        }
    });
}

TEST(KernelChecker, SobelEnergyMatchesSpatialActivity) {
    const auto variants = runnable(sobelEnergyVariants());
    auto check = [&](const CheckedFrame& f) {
        const double expected = spatialAct(f.packed);
        for (const auto& v : variants)
            expectSameBits(expected, std::sqrt(static_cast<double>(v.fn(f.plane))),
                           std::string(v.name) + " " + f.label);
    };
    forEachFrame(check);
    // Rows whose last vector step covers 0, 1, 15 or 31 outputs after the whole ones,
    // in a band of four output rows and one row after it; rows long enough to empty
    // the 32-bit totals on the way.
    uint32_t seed = 500;
    for (uint32_t w : {18u, 19u, 33u, 34u, 35u, 49u, 50u, 65u, 66u, 1920u, 4200u})
        for (Pattern pattern : {Pattern::Noise, Pattern::Extremes})
            for (uint32_t padding : {0u, 13u}) check(CheckedFrame(w, 7, padding, pattern, seed++));
}

namespace {

// Comb groups as interlace once counted them: every whole group, column by
// column, with short-circuit tests.
uint64_t straightforwardCombGroups(const Image& frame) {
    auto combs = [](int a, int b, int c, int d) { return (a > b && b < c && c > d) || (a < b && b > c && c < d); };
    const uint64_t w = frame.w;
    uint64_t count = 0;
    for (uint64_t y0 = 0; y0 + 4 <= frame.h; y0 += 4) {
        const uint8_t* l0 = frame.data + y0 * w;
        for (uint64_t x0 = 0; x0 + 4 <= w; x0 += 4) {
            bool group = true;
            for (uint64_t x = x0; x < x0 + 4; ++x)
                group = group && combs(l0[x], l0[x + w], l0[x + 2 * w], l0[x + 3 * w]);
            if (group) ++count;
        }
    }
    return count;
}

// Exposure as a column-by-column walk over the visited blocks, summing each block
// in double and ranking doubles.
double straightforwardExposure(const Image& frame) {
    const uint32_t w = static_cast<uint32_t>(frame.w), h = static_cast<uint32_t>(frame.h);
    double darkest[4] = {16320.0, 16320.0, 16320.0, 16320.0};
    double brightest[4] = {0.0, 0.0, 0.0, 0.0};
    auto offer = [](double (&list)[4], double s, bool (*before)(double, double)) {
        for (int i = 0; i < 4; ++i)
            if (before(s, list[i])) {
                for (int j = 3; j > i; --j) list[j] = list[j - 1];
                list[i] = s;
                return;
            }
    };
    if (w >= 8 && h >= 8)
        for (uint32_t x0 = 0; x0 < w - 8; x0 += 8)
            for (uint32_t y0 = 0; y0 < h - 8; y0 += 8) {
                double s = 0.0;
                for (uint32_t y = y0; y < y0 + 8; ++y)
                    for (uint32_t x = x0; x < x0 + 8; ++x) s += frame.data[uint64_t{y} * w + x];
                offer(darkest, s, [](double v, double stored) { return stored >= v; });
                offer(brightest, s, [](double v, double stored) { return v >= stored; });
            }
    double total = 0.0;
    for (double v : brightest) total += v;
    for (double v : darkest) total += v;
    return total / 512.0;
}

// Whole-plane equality maps and their band sums, as slice once counted.
void straightforwardBandRepeats(const Image& frame, uint32_t bands, std::vector<int32_t>& down,
                                std::vector<int32_t>& right) {
    const uint64_t w = frame.w, h = frame.h;
    down.assign(bands, 0);
    right.assign(bands, 0);
    if (bands == 0) return;
    std::vector<uint8_t> verticalMap(w * (h - 16)), horizontalMap(w > 16 ? (w - 16) * h : 0);
    compareShifted(frame, makeImage(w, h - 16, verticalMap.data()), static_cast<int32_t>(16 * w));
    blockSums(makeImage(w, h - 16, verticalMap.data()), makeImage32(1, bands, down.data()), w, 16);
    if (w > 16) {
        compareShifted(frame, makeImage(w - 16, h, horizontalMap.data()), 16);
        blockSums(makeImage(w - 16, h, horizontalMap.data()), makeImage32(1, bands, right.data()), w - 16, 16);
    }
}

}  // namespace

TEST(KernelChecker, BlockSums8MatchWholeBlockSums) {
    const auto variants = runnable(blockSums8Variants());
    forEachFrame([&](const CheckedFrame& f) {
        const uint64_t bw = f.packed.image.w / 8, bh = f.packed.image.h / 8;
        std::vector<int32_t> expected(bw * bh, 0);
        blockSums(f.packed, makeImage32(bw, bh, expected.data()), 8, 8);
        for (const auto& v : variants) {
            std::vector<int32_t> actual(bw * bh + 1, -1);
            v.fn(f.plane, actual.data());
            EXPECT_TRUE(std::equal(expected.begin(), expected.end(), actual.begin())) << v.name << " " << f.label;
            EXPECT_EQ(actual.back(), -1) << v.name << " wrote past the grid, " << f.label;
        }
    });
}

TEST(KernelChecker, ExposureMatchesTheColumnByColumnWalk) {
    forEachFrame([&](const CheckedFrame& f) {
        expectSameBits(straightforwardExposure(f.packed), exposure(f.packed), f.label);
    });
}

TEST(KernelChecker, CombGroupsMatchTheStraightforwardCount) {
    const auto variants = runnable(combGroupsVariants());
    forEachFrame([&](const CheckedFrame& f) {
        const uint64_t expected = straightforwardCombGroups(f.packed);
        for (const auto& v : variants) EXPECT_EQ(expected, v.fn(f.plane)) << v.name << " " << f.label;
    });
}

TEST(KernelChecker, BandRepeatsMatchTheEqualityMaps) {
    const auto variants = runnable(bandRepeatsVariants());
    auto check = [&](const CheckedFrame& f) {
        const uint32_t bands = f.plane.height >= 32 ? (f.plane.height - 16) / 16 : 0;
        std::vector<int32_t> down, right;
        straightforwardBandRepeats(f.packed, bands, down, right);
        for (const auto& v : variants) {
            std::vector<int32_t> gotDown(bands + 1, -1), gotRight(bands + 1, -1);
            v.fn(f.plane, bands, gotDown.data(), gotRight.data());
            EXPECT_TRUE(std::equal(down.begin(), down.end(), gotDown.begin())) << v.name << " down " << f.label;
            EXPECT_TRUE(std::equal(right.begin(), right.end(), gotRight.begin())) << v.name << " right " << f.label;
            EXPECT_EQ(gotDown.back(), -1) << v.name << " wrote past the bands, " << f.label;
            EXPECT_EQ(gotRight.back(), -1) << v.name << " wrote past the bands, " << f.label;
        }
    };
    forEachFrame(check);
    // Rows long enough to fill the byte-wide counters of the vector variants.
    for (Pattern pattern : {Pattern::Flat0, Pattern::Repeats, Pattern::Noise})
        check(CheckedFrame(8200, 33, 7, pattern, 99));
}

TEST(KernelChecker, ResidualDeviationsMatchFilterAndInteriorDeviations) {
    const auto variants = runnable(residualDeviationsVariants());
    forEachFrame([&](const CheckedFrame& f) {
        const uint32_t blocks = f.plane.width / 8;
        if (blocks == 0 || f.plane.height < 8) return;
        // The first eight rows as the gathered strip, through the planes the tools fill.
        const uint64_t w = uint64_t{blocks} * 8;
        OwnedImage strip(w, 8);
        for (uint32_t y = 0; y < 8; ++y)
            for (uint32_t x = 0; x < w; ++x) strip.at(x, y) = f.packed.image.data[uint64_t{y} * f.packed.image.w + x];
        for (double sigma : {1.0, 3.0, 40.0}) {
            std::vector<double> weights(9);
            for (int i = 0; i < 9; ++i)
                weights[static_cast<std::size_t>(i)] =
                    std::exp(-((i / 3 - 1) * (i / 3 - 1) + (i % 3 - 1) * (i % 3 - 1)) / (2 * sigma * sigma)) /
                    (sigma * sigma * 6.28);
            const ImageDouble mask = makeImageDouble(3, 3, weights.data());
            std::vector<double> filteredSamples(w * 8, 0.0), residualSamples(w * 8), sums(blocks, 0.0),
                squares(blocks, 0.0), expected(blocks);
            ImageDouble filtered = makeImageDouble(w, 8, filteredSamples.data());
            ASSERT_EQ(filter(&strip.image, &filtered, &mask, static_cast<int32_t>(blocks), 8, 8), 0);
            for (uint64_t i = 0; i < w * 8; ++i)
                residualSamples[i] = static_cast<double>(strip.samples[i]) - filteredSamples[i];
            ImageDouble residual = makeImageDouble(w, 8, residualSamples.data());
            ImageDouble sumPlane = makeImageDouble(blocks, 1, sums.data());
            ImageDouble squarePlane = makeImageDouble(blocks, 1, squares.data());
            ImageDouble deviations = makeImageDouble(blocks, 1, expected.data());
            calculateInteriorStdDevs(&residual, &sumPlane, &squarePlane, &deviations, &mask, 8, 8);
            for (const auto& v : variants) {
                std::vector<double> actual(blocks + 1, -1.0);
                v.fn(f.plane.data, f.plane.stride, blocks, weights.data(), actual.data());
                for (uint32_t b = 0; b < blocks; ++b)
                    expectSameBits(expected[b], actual[b],
                                   std::string(v.name) + " block " + std::to_string(b) + " " + f.label);
                EXPECT_EQ(actual.back(), -1.0) << v.name << " wrote past the blocks, " << f.label;
            }
        }
    });
}

namespace {

int32_t robertsEnergyAt(const uint8_t* up, const uint8_t* row, std::size_t x) {
    const int dx = up[x - 1] - row[x], dy = up[x] - row[x - 1];
    return dx * dx + dy * dy;
}

// Two rows for the strong-bit kernels, `offset` bytes into their buffer: random
// samples, or samples from a few levels, whose energies repeat so that limits
// equal to them are common.
struct StrongRows {
    std::vector<uint8_t> samples;
    const uint8_t* up;
    const uint8_t* row;
    StrongRows(std::size_t width, std::size_t offset, bool fewLevels, std::mt19937& rng)
        : samples(offset + 2 * width + 64) {
        const uint8_t levels[] = {0, 1, 127, 128, 255};
        for (uint8_t& v : samples) v = fewLevels ? levels[rng() % 5] : static_cast<uint8_t>(rng());
        up = samples.data() + offset;
        row = up + width;
    }
};

// Limits at both ends, and equal to and one below the energy of a sampled column.
std::vector<int32_t> limitsAround(int32_t energy) {
    return {-1, 0, energy - 1, energy, 2 * 255 * 255 - 1, 2 * 255 * 255};
}

template <typename F, typename Call>
void expectSameBits(std::span<const KernelVariant<F>> all, std::size_t words, const std::string& where, Call call) {
    constexpr uint64_t kUntouched = 0xA5A5A5A5A5A5A5A5u;
    std::vector<uint64_t> expected(words + 1, kUntouched);
    call(all.front().fn, expected.data());
    for (const auto& v : runnable(all)) {
        std::vector<uint64_t> actual(words + 1, kUntouched);
        call(v.fn, actual.data());
        EXPECT_EQ(expected, actual) << v.name << " " << where;
    }
}

}  // namespace

TEST(KernelChecker, StrongBitsMatchTheEnergiesAtEveryLimit) {
    std::mt19937 rng(77);
    // Widths around the vector steps and whole words, with tails of 0, 1, 15, 31 and 63 bits.
    for (uint32_t width : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 33u, 64u, 65u, 79u, 95u, 127u, 256u, 257u, 271u,
                           287u, 319u, 1921u})
        for (std::size_t offset : {0u, 3u})
            for (bool fewLevels : {false, true}) {
                const StrongRows rows(width, offset, fewLevels, rng);
                const std::size_t sampled = width > 1 ? 1 + rng() % (width - 1) : 0;
                const int32_t energy = sampled ? robertsEnergyAt(rows.up, rows.row, sampled) : 0;
                for (int32_t limit : limitsAround(energy)) {
                    const std::string where = std::to_string(width) + " wide, limit " + std::to_string(limit);
                    expectSameBits(
                        strongBitsVariants(), (width + 63) / 64, where,
                        [&](StrongBitsKernel* fn, uint64_t* bits) { fn(rows.up, rows.row, width, limit, bits); });
                    // The plain variant against the energies themselves.
                    std::vector<uint64_t> bits((width + 63) / 64);
                    strongBitsVariants().front().fn(rows.up, rows.row, width, limit, bits.data());
                    for (std::size_t x = 0; x < width; ++x)
                        ASSERT_EQ((bits[x / 64] >> (x % 64)) & 1,
                                  static_cast<uint64_t>(x > 0 && robertsEnergyAt(rows.up, rows.row, x) > limit))
                            << where << " column " << x;
                }
            }
}

TEST(KernelChecker, GridStrongBitsMatchTheEnergiesAtEveryLimit) {
    std::mt19937 rng(78);
    for (uint32_t lines : {1u, 2u, 7u, 8u, 9u, 15u, 16u, 17u, 24u, 31u, 32u, 33u, 64u, 65u, 112u, 127u})
        for (std::size_t offset : {0u, 5u})
            for (bool fewLevels : {false, true}) {
                const std::size_t width = std::size_t{lines} * 16;
                const StrongRows rows(width, offset, fewLevels, rng);
                const std::size_t sampled = lines > 1 ? 16 * (1 + rng() % (lines - 1)) : 0;
                const int32_t energy = sampled ? robertsEnergyAt(rows.up, rows.row, sampled) : 0;
                for (int32_t limit : limitsAround(energy)) {
                    const std::string where = std::to_string(lines) + " lines, limit " + std::to_string(limit);
                    expectSameBits(
                        gridStrongBitsVariants(), (lines + 63) / 64, where,
                        [&](GridStrongBitsKernel* fn, uint64_t* bits) { fn(rows.up, rows.row, lines, limit, bits); });
                    std::vector<uint64_t> bits((lines + 63) / 64);
                    gridStrongBitsVariants().front().fn(rows.up, rows.row, lines, limit, bits.data());
                    for (std::size_t m = 0; m < lines; ++m)
                        ASSERT_EQ((bits[m / 64] >> (m % 64)) & 1,
                                  static_cast<uint64_t>(m > 0 && robertsEnergyAt(rows.up, rows.row, 16 * m) > limit))
                            << where << " line " << m;
                }
            }
}

TEST(KernelTable, PlainTableComesFirstAndActiveTableIsAvailable) {
    ASSERT_FALSE(availableKernels().empty());
    EXPECT_EQ(availableKernels().front(), &plainKernels());
    bool found = false;
    for (const Kernels* table : availableKernels()) found |= table == &activeKernels();
    EXPECT_TRUE(found);
}

TEST(KernelTable, SquaredDifferenceSum) {
    forEveryCase([](const Kernels& k, const TestPlane& a, const TestPlane& b) {
        // Contiguous runs: the rows of a plane without padding.
        const std::size_t n = a.plane.width;
        uint64_t expected = 0;
        for (std::size_t i = 0; i < n; ++i)
            expected += uint64_t((a.plane.data[i] - b.plane.data[i]) * (a.plane.data[i] - b.plane.data[i]));
        EXPECT_EQ(k.squaredDifferenceSum(a.plane.data, b.plane.data, n), expected);
    });
}

TEST(KernelTable, SquaredDifferenceSumPastThe32BitPartials) {
    std::vector<uint8_t> zeros(200000, 0), full(200000, 255);
    for (const Kernels* k : availableKernels())
        EXPECT_EQ(k->squaredDifferenceSum(zeros.data(), full.data(), zeros.size()), 200000ull * 65025ull);
}

TEST(KernelTable, SumAndSquareSum) {
    forEveryCase([](const Kernels& k, const TestPlane& a, const TestPlane&) {
        uint64_t sum = 0, squares = 0;
        for (uint32_t y = 0; y < a.plane.height; ++y)
            for (uint32_t x = 0; x < a.plane.width; ++x) {
                sum += uint64_t(a.at(x, y));
                squares += uint64_t(a.at(x, y) * a.at(x, y));
            }
        uint64_t gotSum = 1, gotSquares = 1;
        k.sumAndSquareSum(a.plane, gotSum, gotSquares);
        EXPECT_EQ(gotSum, sum);
        EXPECT_EQ(gotSquares, squares);
    });
}

TEST(KernelTable, SumAndSquareSumPastThe32BitPartials) {
    std::vector<uint8_t> full(600000, 255);
    const Plane row{full.data(), static_cast<std::ptrdiff_t>(full.size()), static_cast<uint32_t>(full.size()), 1};
    const Plane rows{full.data(), 30000, 30000, 20};
    for (const Kernels* k : availableKernels())
        for (const Plane& plane : {row, rows}) {
            uint64_t sum = 0, squares = 0;
            k->sumAndSquareSum(plane, sum, squares);
            EXPECT_EQ(sum, 600000ull * 255);
            EXPECT_EQ(squares, 600000ull * 65025);
        }
}

TEST(KernelTable, RobertsEnergyPastThe32BitPartials) {
    // Rows of 0 over rows of 255: every sample past the first row and column adds 2 * 255^2.
    const uint32_t w = 300001;
    std::vector<uint8_t> samples(std::size_t{w} * 3);
    std::fill(samples.begin() + w, samples.begin() + 2 * w, 255);
    const Plane plane{samples.data(), w, w, 3};
    for (const Kernels* k : availableKernels()) EXPECT_EQ(k->robertsEnergy(plane), 2ull * (w - 1) * 2 * 65025);
}

TEST(KernelTable, RobertsEnergy) {
    auto check = [](const Kernels& k, const TestPlane& a, const TestPlane&) {
        uint64_t expected = 0;
        for (uint32_t y = 1; y < a.plane.height; ++y)
            for (uint32_t x = 1; x < a.plane.width; ++x) {
                const int dx = a.at(x - 1, y - 1) - a.at(x, y);
                const int dy = a.at(x, y - 1) - a.at(x - 1, y);
                expected += uint64_t(dx * dx + dy * dy);
            }
        EXPECT_EQ(k.robertsEnergy(a.plane), expected);
    };
    forEveryCase(check);
    // Rows whose last vector step covers 0, 1, 15, 31 or 63 columns after the whole ones.
    uint32_t seed = 900;
    for (const Kernels* table : availableKernels())
        for (uint32_t w : {32u, 33u, 34u, 48u, 64u, 65u, 66u, 80u, 96u, 1920u})
            for (int pattern : {0, 3}) {
                SCOPED_TRACE(std::string(cpuLevelName(table->level)) + " width " + std::to_string(w));
                check(*table, TestPlane(w, 3, 5, pattern, seed++), TestPlane(1, 1, 0, 0, 0));
            }
}

TEST(KernelTable, BlockSumsAndDiffs8) {
    forEveryCase([](const Kernels& k, const TestPlane& a, const TestPlane& b) {
        const uint32_t bw = a.plane.width / 8, bh = a.plane.height / 8;
        std::vector<int32_t> sums(std::size_t{bw} * bh + 1, -7), diffs(sums);
        k.blockSumsAndDiffs8(a.plane, b.plane, sums.data(), diffs.data());
        for (uint32_t by = 0; by < bh; ++by)
            for (uint32_t bx = 0; bx < bw; ++bx) {
                int32_t sum = 0, diff = 0;
                for (uint32_t y = by * 8; y < by * 8 + 8; ++y)
                    for (uint32_t x = bx * 8; x < bx * 8 + 8; ++x) {
                        sum += a.at(x, y);
                        diff += std::abs(a.at(x, y) - b.at(x, y));
                    }
                EXPECT_EQ(sums[by * bw + bx], sum);
                EXPECT_EQ(diffs[by * bw + bx], diff);
            }
        EXPECT_EQ(sums.back(), -7);  // nothing written past the grids
        EXPECT_EQ(diffs.back(), -7);
    });
}

// Series that wander by moves at the swing and at half the move before, from both ends of
// the levels, in groups that are no multiple of a vector or of a strip of them, starting at
// odd addresses.
TEST(KernelTable, TurnCounts) {
    constexpr int32_t swing = 128;
    std::mt19937 random(11);
    for (std::size_t count : {1u, 15u, 16u, 17u, 33u, 70u, 300u}) {
        for (std::size_t steps : {2u, 3u, 40u}) {
            std::vector<std::vector<uint16_t>> levels(steps, std::vector<uint16_t>(count + 1));
            for (std::size_t i = 0; i < count; ++i) {
                int32_t level = static_cast<int32_t>(random() % 3 == 0 ? (random() % 2) * 32767 : random() % 32768);
                int32_t lastMove = 0;
                for (std::size_t k = 0; k < steps; ++k) {
                    const int32_t sizes[] = {
                        0,         swing - 1, swing, swing + 1, std::abs(lastMove) / 2, std::abs(lastMove) / 2 + 1,
                        3 * swing, 32767};
                    const int32_t size = sizes[random() % std::size(sizes)];
                    const int32_t moved = std::clamp(level + (random() % 2 ? size : -size), 0, 32767);
                    lastMove = moved - level;
                    level = moved;
                    levels[k][1 + i] = static_cast<uint16_t>(level);
                }
            }
            std::vector<const uint16_t*> rows;
            for (const auto& row : levels) rows.push_back(row.data() + 1);
            std::vector<uint16_t> expected(count);
            for (std::size_t i = 0; i < count; ++i) {
                int direction = 0;
                int32_t extreme = rows[0][i], start = extreme;
                for (std::size_t k = 1; k < steps; ++k) {
                    bool turned = false;
                    turnStep(rows[k][i], swing, direction, extreme, start, turned);
                    expected[i] = static_cast<uint16_t>(expected[i] + turned);
                }
            }
            for (const Kernels* table : availableKernels()) {
                std::vector<uint16_t> got(count + 1, 7777);
                table->turnCounts(rows.data(), steps, count, swing, got.data());
                EXPECT_EQ(got.back(), 7777);  // nothing written past the series
                got.pop_back();
                EXPECT_EQ(got, expected) << cpuLevelName(table->level) << " " << count << " series of " << steps;
            }
        }
    }
}

// Words at an odd address, with bits set above the depth, in runs that end inside a vector.
TEST(KernelTable, DeepToBytesKeepsTheTopEightBitsOfTheDepth) {
    std::mt19937 random(5);
    std::vector<uint8_t> words(2 * 1935 + 1);
    for (uint8_t& b : words) b = static_cast<uint8_t>(random());
    words[1] = words[2] = 0xFF;  // the extremes: all bits set, then none
    words[3] = words[4] = 0;
    for (const Kernels* k : availableKernels())
        for (int depth : {9, 10, 12, 16})
            for (std::size_t count : {0u, 1u, 31u, 33u, 64u, 127u, 1935u}) {
                std::vector<uint8_t> got(count + 1, 7);
                k->deepToBytes(words.data() + 1, got.data(), count, depth);
                for (std::size_t x = 0; x < count; ++x) {
                    const unsigned word = words[1 + 2 * x] | words[2 + 2 * x] << 8;
                    ASSERT_EQ(got[x], ((word & ((1u << depth) - 1)) >> (depth - 8)))
                        << cpuLevelName(k->level) << " depth " << depth << " count " << count << " at " << x;
                }
                EXPECT_EQ(got.back(), 7);  // nothing written past the run
            }
}

// Bounds at and beyond the byte's range (-1, 0, 255, 256, a low above its high) and runs
// that are not whole vectors, from unaligned places.
TEST(KernelTable, OutsideBoundsCountsWhatEachPlaceRefuses) {
    std::mt19937 random(9);
    constexpr std::size_t kLength = 1937;
    std::vector<uint8_t> samples(kLength + 1);
    std::vector<int16_t> low(kLength + 1), high(kLength + 1);
    const int16_t edges[] = {-1, 0, 1, 5, 16, 128, 235, 246, 254, 255, 256};
    for (std::size_t i = 0; i <= kLength; ++i) {
        samples[i] = static_cast<uint8_t>(i % 7 == 0 ? (i % 2 ? 255 : 0) : random());
        low[i] = edges[random() % std::size(edges)];
        high[i] = edges[random() % std::size(edges)];
    }
    for (const Kernels* k : availableKernels())
        for (std::size_t count : {0u, 1u, 15u, 16u, 17u, 33u, 1936u}) {
            uint64_t expected = 0;
            for (std::size_t i = 1; i <= count; ++i) expected += samples[i] < low[i] || samples[i] > high[i];
            EXPECT_EQ(k->outsideBounds(samples.data() + 1, low.data() + 1, high.data() + 1, count), expected)
                << cpuLevelName(k->level) << " count " << count;
        }
}
