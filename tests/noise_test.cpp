#include "indicators/noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "test_support.h"

namespace {

// Fills 8x8 block (bx, by) with a checkerboard of `low` and `low + diff`.
void checkerBlock(OwnedImage& img, uint64_t bx, uint64_t by, int diff, int low = 100) {
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 8; ++x)
            img.at(bx * 8 + x, by * 8 + y) = static_cast<uint8_t>(low + ((x + y) % 2) * diff);
}

// Blocks of one strip, each a checkerboard of the given difference.
struct Strip {
    OwnedImage img;
    explicit Strip(const std::vector<int>& diffs, int low = 100) : img(8 * diffs.size(), 8) {
        for (uint64_t i = 0; i < diffs.size(); ++i) checkerBlock(img, i, 0, diffs[i], low);
    }
};

// The value for gathered checkerboard blocks of difference d and level sigma:
// the interior residual alternates between two values whose gap is
// d * (1 - centre - 4 corner + 4 edge weights), 18 samples each, divisor 35.
double checkerNoise(int d, unsigned sigma) {
    const double norm = 1 / (sigma * sigma * 6.28);
    const double s = 2.0 * sigma * sigma;
    const double centre = norm;
    const double edge = std::exp(-1 / s) * norm;
    const double corner = std::exp(-2 / s) * norm;
    return d / 2.0 * std::sqrt(36.0 / 35.0) * std::fabs(1 - centre - 4 * corner + 4 * edge);
}

}  // namespace

TEST(Noise, CheckerboardFrames) {
    OwnedImage a(64, 32);
    OwnedImage b(64, 32);
    for (uint64_t by = 0; by < 4; ++by)
        for (uint64_t bx = 0; bx < 8; ++bx) {
            checkerBlock(a, bx, by, 2);
            checkerBlock(b, bx, by, 4);
        }
    EXPECT_NEAR(noise(a), 1.00685, 5e-6);
    EXPECT_NEAR(noise(a), checkerNoise(2, 1), 1e-12);
    EXPECT_NEAR(noise(b), 1.98112, 5e-6);
    EXPECT_NEAR(noise(b), checkerNoise(4, 2), 1e-12);
}

TEST(Noise, GivesUpOnFlatAndTinyFrames) {
    OwnedImage flat(64, 32, 128);
    EXPECT_EQ(noise(flat), 0.0);
    OwnedImage narrow(7, 64);
    for (uint64_t y = 0; y < 64; ++y)
        for (uint64_t x = 0; x < 7; ++x) narrow.at(x, y) = static_cast<uint8_t>((x + y) % 2 * 50);
    EXPECT_EQ(noise(narrow), 0.0);
    OwnedImage low(64, 7, 9);
    EXPECT_EQ(noise(low), 0.0);
}

TEST(Noise, NoMatchingBlockIsNaN) {
    OwnedImage img(64, 32);
    for (uint64_t y = 0; y < 32; ++y)
        for (uint64_t x = 0; x < 64; ++x) img.at(x, y) = static_cast<uint8_t>(2 * (x % 8));
    EXPECT_TRUE(std::isnan(noise(img)));
}

TEST(Noise, ModeTieKeepsTheBinThatGotThereFirst) {
    // Differences 8 and 12 give deviations 4.03 and 6.05 (bins 4 and 6).
    const double only4 = noise(Strip({8, 8}).img);
    const double only6 = noise(Strip({12, 12}).img);
    ASSERT_NE(only4, only6);
    EXPECT_EQ(noise(Strip({12, 8, 12, 8}).img), only6);
    EXPECT_EQ(noise(Strip({8, 12, 8, 12}).img), only4);
}

TEST(Noise, HalfLevelIsRoundedAndBelowHalfRoundedDown) {
    // Difference 4: deviation 2.016 (bin 2); difference 5: 2.520 (bin 3).
    // Bins 2 and 3 once each: mu = 2.5, sigma = 3, blocks in [2.5, 3.5) match.
    EXPECT_NEAR(noise(Strip({4, 5}).img), checkerNoise(5, 3), 1e-12);
    // Bin 2 three times and bin 3 twice: mu = 2.4, sigma = 2, blocks in [2, 3).
    const double expected = (3 * checkerNoise(4, 2) + 2 * checkerNoise(5, 2)) / 5;
    EXPECT_NEAR(noise(Strip({4, 5, 4, 5, 4}).img), expected, 1e-12);
}

TEST(Noise, GathersOnlyTheFirstThousandBlocks) {
    // 1024 blocks, all at deviation 1.008: the first 1000 in raster order are
    // checkerboards, the last 24 vertical stripes with a different residual.
    OwnedImage img(512, 128);
    for (uint64_t by = 0; by < 16; ++by)
        for (uint64_t bx = 0; bx < 64; ++bx) {
            if (by * 64 + bx < 1000) {
                checkerBlock(img, bx, by, 2);
            } else {
                for (uint64_t y = 0; y < 8; ++y)
                    for (uint64_t x = 0; x < 8; ++x)
                        img.at(bx * 8 + x, by * 8 + y) = static_cast<uint8_t>(100 + (x % 2) * 2);
            }
        }
    EXPECT_NEAR(noise(img), checkerNoise(2, 1), 1e-12);
    OwnedImage stripes(64, 8);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 64; ++x) stripes.at(x, y) = static_cast<uint8_t>(100 + (x % 2) * 2);
    EXPECT_GT(std::fabs(noise(stripes) - checkerNoise(2, 1)), 0.05);
}

TEST(Noise, ModeInTheLastBinTreatsTheMissingNeighbourAsEmpty) {
    // 0/253 checkerboards: deviation 127.50, rounded 128, clamped into bin 127;
    // mu = 127 exactly, so the rounded-down rule takes all of them.
    EXPECT_NEAR(noise(Strip({253, 253, 253}, 0).img), checkerNoise(253, 127), 1e-9);
    // 0/255 (128.5) lands in bin 127 too but rounds down to 128: no match.
    OwnedImage full(16, 8);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 16; ++x) full.at(x, y) = static_cast<uint8_t>((x + y) % 2 * 255);
    EXPECT_TRUE(std::isnan(noise(full)));
}

TEST(Noise, CountersDoNotWrapOnLargeFrames) {
    // 65 536 blocks in one bin would read as an empty bin with 16-bit counters.
    OwnedImage img(2048, 2048);
    for (uint64_t y = 0; y < 2048; ++y)
        for (uint64_t x = 0; x < 2048; ++x) img.at(x, y) = static_cast<uint8_t>(100 + ((x + y) % 2) * 2);
    EXPECT_NEAR(noise(img), checkerNoise(2, 1), 1e-12);
}

TEST(NoiseCompare, OrdersDoublesAndTreatsNaNAsEqual) {
    const double one = 1.0, two = 2.0, nan = NAN;
    EXPECT_EQ(compare(&one, &two), -1);
    EXPECT_EQ(compare(&two, &one), 1);
    EXPECT_EQ(compare(&one, &one), 0);
    EXPECT_EQ(compare(&nan, &one), 0);
    EXPECT_EQ(compare(&one, &nan), 0);
    std::vector<double> values{3.5, -1.0, 2.25, 0.0};
    std::qsort(values.data(), values.size(), sizeof(double), compare);
    EXPECT_EQ(values, (std::vector<double>{-1.0, 0.0, 2.25, 3.5}));
}
