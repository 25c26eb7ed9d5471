#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "indicators/contrastRMS.h"
#include "test_support.h"

namespace {

std::string printed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%-5.5f", value);
    return text;
}

}  // namespace

TEST(Contrast, WorkedValues) {
    const OwnedImage alternating(4, 3, {0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255});
    EXPECT_NEAR(contrastRMS(alternating) * contrastRMS(alternating), 17734.0909, 1e-4);
    EXPECT_EQ(printed(contrastRMS(alternating)), "133.16941");

    const OwnedImage step(4, 3, {0, 0, 100, 100, 0, 0, 100, 100, 0, 0, 100, 100});
    EXPECT_EQ(printed(contrastRMS(step)), "52.22330");
}

TEST(Contrast, UniformFramesGiveZero) {
    EXPECT_EQ(contrastRMS(OwnedImage(352, 288, 16)), 0.0);
    // Rounding takes this variance just below zero; the frame is still uniform.
    EXPECT_EQ(contrastRMS(OwnedImage(352, 288, 100)), 0.0);
    EXPECT_EQ(contrastRMS(OwnedImage(352, 288, 255)), 0.0);
}

TEST(Contrast, SingleSampleHasNoDeviation) { EXPECT_TRUE(std::isnan(contrastRMS(OwnedImage(1, 1, 40)))); }

TEST(Contrast, BrightLargeFrameDoesNotWrap) {
    // Nine million samples of 255 sum to more than 2^31.
    const uint64_t w = 4000, h = 3000;
    OwnedImage frame(w, h, 0);
    std::fill(frame.samples.begin(), frame.samples.begin() + 2250 * w, 255);
    uint64_t sum = 0;
    uint64_t squares = 0;
    sumAndSquareSum(frame, sum, squares);
    EXPECT_EQ(sum, 2250ull * w * 255);
    EXPECT_EQ(squares, 2250ull * w * 255 * 255);
    const double n = static_cast<double>(w * h);
    EXPECT_NEAR(contrastRMS(frame), 255.0 * std::sqrt(0.75 * 0.25 * n / (n - 1.0)), 1e-6);
}
