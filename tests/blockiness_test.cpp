#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "indicators/blockiness.h"
#include "test_support.h"

namespace {

// The running-sum algorithm exactly as written down, walking the vertical lines
// down the columns, to check the row-wise walk of the indicator against.
double referenceBlockiness(const OwnedImage& img) {
    const uint64_t W = img.image.w, H = img.image.h;
    auto p = [&](uint64_t x, uint64_t y) { return static_cast<int>(img.samples[y * W + x]); };
    uint64_t inner = 0, cross = 0;
    int64_t runInner = 0, runCross = 0;
    for (uint64_t y = 8; y + 8 <= H; y += 8) {
        for (uint64_t x = 0; x < W; ++x) {
            runInner += std::abs(p(x, y - 1) - p(x, y - 2));
            runCross += std::abs(p(x, y - 1) - p(x, y));
        }
        inner += runInner;
        cross += runCross;
    }
    runInner = runCross = 0;
    for (uint64_t x = 8; x + 8 <= W; x += 8) {
        for (uint64_t y = 0; y < H; ++y) {
            runInner += std::abs(p(x - 1, y) - p(x - 2, y));
            runCross += std::abs(p(x - 1, y) - p(x, y));
        }
        inner += runInner;
        cross += runCross;
    }
    const double ratio = static_cast<double>(inner) / static_cast<double>(cross);
    return std::isnan(ratio) ? 1.0 : ratio;
}

}  // namespace

TEST(Blockiness, FramesWithoutStepsOrWithoutGridLinesStoreOne) {
    EXPECT_EQ(blockiness(OwnedImage(32, 32, 77)), 1.0);
    // Fewer than 16 samples in both directions: no grid line at all, no wrap below 8.
    OwnedImage small(15, 7);
    for (uint64_t i = 0; i < small.samples.size(); ++i) small.samples[i] = static_cast<uint8_t>(i * 37);
    EXPECT_EQ(blockiness(small), 1.0);
    EXPECT_EQ(blockiness(OwnedImage(3, 3, {0, 255, 0, 255, 0, 255, 0, 255, 0})), 1.0);
}

TEST(Blockiness, FlatBlocksStoreZero) {
    OwnedImage img(32, 24);
    for (uint64_t y = 0; y < 24; ++y)
        for (uint64_t x = 0; x < 32; ++x) img.at(x, y) = static_cast<uint8_t>(((x / 8) * 3 + (y / 8) * 5) * 10);
    EXPECT_EQ(blockiness(img), 0.0);
}

TEST(Blockiness, RampHasEqualStepsOnAndOffTheGrid) {
    OwnedImage img(64, 20);
    for (uint64_t y = 0; y < 20; ++y)
        for (uint64_t x = 0; x < 64; ++x) img.at(x, y) = static_cast<uint8_t>(x);
    EXPECT_EQ(blockiness(img), 1.0);
}

TEST(Blockiness, StepsOnlyInsideTheBlocksStoreInfinity) {
    OwnedImage img(16, 16, 0);
    for (uint64_t y = 0; y < 16; ++y) img.at(6, y) = 255;
    EXPECT_EQ(blockiness(img), std::numeric_limits<double>::infinity());
}

TEST(Blockiness, RunningSumsAccumulateAcrossGridLines) {
    // Horizontal lines at y = 8 (inner 32, cross 96) and y = 16 (inner 0, cross 64):
    // (32 + 32) / (96 + 160) = 0.25, where per-line sums would give 0.2.
    OwnedImage rows(16, 24);
    for (uint64_t y = 0; y < 24; ++y) {
        const uint8_t level = y < 7 ? 0 : y == 7 ? 2 : y < 16 ? 8 : 12;
        for (uint64_t x = 0; x < 16; ++x) rows.at(x, y) = level;
    }
    EXPECT_EQ(blockiness(rows), 0.25);

    // The same frame turned on its side weights the vertical lines alike.
    OwnedImage columns(24, 16);
    for (uint64_t y = 0; y < 16; ++y)
        for (uint64_t x = 0; x < 24; ++x) columns.at(x, y) = rows.at(y, x);
    EXPECT_EQ(blockiness(columns), 0.25);
}

TEST(Blockiness, MatchesTheColumnWalkOnTexturedFrames) {
    const uint64_t sizes[][2] = {{16, 16}, {40, 33}, {17, 64}, {71, 9}, {9, 71}, {130, 50}};
    uint32_t state = 12345;
    for (const auto& size : sizes) {
        OwnedImage img(size[0], size[1]);
        for (uint8_t& s : img.samples) {
            state = state * 1664525u + 1013904223u;
            s = static_cast<uint8_t>(state >> 24);
        }
        EXPECT_EQ(blockiness(img), referenceBlockiness(img)) << size[0] << "x" << size[1];
    }
}

TEST(BlockToMOS, MapsAndClampsBelow) {
    EXPECT_DOUBLE_EQ(blockToMOS(1.0), 3.74);
    EXPECT_DOUBLE_EQ(blockToMOS(2.0), 12.67);
    EXPECT_EQ(blockToMOS(0.5), 0.0);
    EXPECT_EQ(blockToMOS(std::numeric_limits<double>::quiet_NaN()), 0.0);
}
