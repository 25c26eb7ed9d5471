#include "indicators/blur.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_support.h"

namespace {

// Every row equal: value(x) for each column.
template <typename F>
void fillColumns(OwnedImage& img, F value) {
    for (uint64_t y = 0; y < img.image.h; ++y)
        for (uint64_t x = 0; x < img.image.w; ++x) img.at(x, y) = static_cast<uint8_t>(value(x));
}

}  // namespace

TEST(Blur, UniformAndTooSmallFramesGiveZero) {
    OwnedImage flat(64, 48, 90);
    EXPECT_EQ(blur(flat), 0.0);
    OwnedImage narrow(15, 64);
    fillColumns(narrow, [](uint64_t x) { return x < 7 ? 0 : 255; });
    EXPECT_EQ(blur(narrow), 0.0);
    OwnedImage low(64, 15);
    fillColumns(low, [](uint64_t x) { return x < 30 ? 0 : 255; });
    EXPECT_EQ(blur(low), 0.0);
}

TEST(Blur, SharpStepRisingAndFalling) {
    OwnedImage rising(256, 32);
    fillColumns(rising, [](uint64_t x) { return x < 128 ? 0 : 255; });
    EXPECT_EQ(blur(rising), 1.0);
    OwnedImage falling(256, 32);
    fillColumns(falling, [](uint64_t x) { return x < 128 ? 255 : 0; });
    EXPECT_EQ(blur(falling), 1.0);
}

TEST(Blur, RampEdgeWalksBackToWhereTheRiseBegan) {
    OwnedImage ramp(256, 32);
    fillColumns(ramp, [](uint64_t x) { return x <= 30 ? 0 : (x <= 35 ? 50 * (x - 30) : 250); });
    EXPECT_EQ(blur(ramp), 5.0);
    OwnedImage down(256, 32);
    fillColumns(down, [](uint64_t x) { return x <= 30 ? 250 : (x <= 35 ? 250 - 50 * (x - 30) : 0); });
    EXPECT_EQ(blur(down), 5.0);
}

TEST(Blur, WalksStopAtTheBorderColumns) {
    // A single dark-to-bright step at column 2 on a frame that keeps rising
    // gently to its right border: the right walk must stop at column W - 2.
    OwnedImage right(32, 32);
    fillColumns(right, [](uint64_t x) { return x < 2 ? 0 : (x == 2 ? 200 : 200 + (x - 2)); });
    // Peak at column 2 (only sample above the threshold); right walk 2 .. 30,
    // left walk from column 1, which it may not pass: 28 + 1.
    EXPECT_EQ(blur(right), 29.0);

    // Mirrored: a gentle rise from the left border ending in a step near the
    // right one; edge column 29 lies inside the scanned range 1 .. 30.
    OwnedImage left(32, 32);
    fillColumns(left, [](uint64_t x) { return x < 29 ? x : (x == 29 ? 228 : 228); });
    // Peak at 29: left walk down to column 1 (28), right walk none.
    EXPECT_EQ(blur(left), 28.0);
}

TEST(Blur, EdgesBeyondTheLastWholeBlockAreNotScanned) {
    // 40x40: columns 31 .. 39 and rows 31 .. 39 are outside the scan.
    OwnedImage img(40, 40);
    fillColumns(img, [](uint64_t x) { return x < 34 ? 0 : 255; });
    EXPECT_EQ(blur(img), 0.0);
    OwnedImage inside(40, 40);
    fillColumns(inside, [](uint64_t x) { return x < 20 ? 0 : 255; });
    EXPECT_EQ(blur(inside), 1.0);
}

TEST(BlurToMOS, KnownPoints) {
    EXPECT_NEAR(blurToMOS(0.0), 4.961543770804832, 1e-14);
    EXPECT_NEAR(blurToMOS(2.87 / 1.5), 4.5376, 1e-4);
    EXPECT_NEAR(blurToMOS(5.0), 2.6114, 1e-4);
    EXPECT_NEAR(blurToMOS(10.0), 0.9150625614, 1e-10);
    EXPECT_EQ(blurToMOS(500.0), 0.0);
    EXPECT_EQ(blurToMOS(-1000.0), 0.0);  // inf / inf
    EXPECT_EQ(blurToMOS(NAN), 0.0);
}
