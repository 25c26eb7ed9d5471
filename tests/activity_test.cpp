#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "indicators/spatialActivity.h"
#include "indicators/temporalActivity.h"
#include "test_support.h"

namespace {

std::string printed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%-5.5f", value);
    return text;
}

// Two left columns 0, two right columns 100.
OwnedImage stepFrame() { return OwnedImage(4, 3, {0, 0, 100, 100, 0, 0, 100, 100, 0, 0, 100, 100}); }

}  // namespace

TEST(SpatialActivity, VerticalEdgeGivesWorkedValue) {
    const OwnedImage frame(4, 3, {0, 0, 100, 100, 0, 0, 100, 100, 0, 0, 100, 100});
    EXPECT_DOUBLE_EQ(spatialAct(frame), std::sqrt(320000.0));
    EXPECT_EQ(printed(spatialActivity(frame)), "163.29932");
}

TEST(SpatialActivity, TransposedFrameGivesSameValue) {
    // The step frame turned on its side exercises the vertical gradient.
    const OwnedImage transposed(3, 4, {0, 0, 0, 0, 0, 0, 100, 100, 100, 100, 100, 100});
    EXPECT_DOUBLE_EQ(spatialActivity(transposed), spatialActivity(stepFrame()));

    OwnedImage wide(7, 5);
    OwnedImage tall(5, 7);
    for (uint64_t y = 0; y < 5; ++y)
        for (uint64_t x = 0; x < 7; ++x)
            wide.at(x, y) = tall.at(y, x) = static_cast<uint8_t>((x * 37 + y * y * 11) % 256);
    EXPECT_GT(spatialAct(wide), 0.0);
    EXPECT_DOUBLE_EQ(spatialAct(wide), spatialAct(tall));
}

TEST(SpatialActivity, FlatOrThinFramesGiveZero) {
    EXPECT_EQ(spatialActivity(OwnedImage(352, 288, 77)), 0.0);
    // Alternating samples, but no interior sample to take a gradient at.
    for (auto [w, h] : {std::pair{1, 5}, {2, 5}, {5, 1}, {5, 2}}) {
        OwnedImage frame(w, h);
        for (size_t i = 0; i < frame.samples.size(); ++i) frame.samples[i] = i % 2 ? 255 : 0;
        EXPECT_EQ(spatialActivity(frame), 0.0) << w << "x" << h;
    }
}

TEST(TemporalActivity, WorkedValues) {
    const OwnedImage same(352, 288, 90);
    EXPECT_EQ(temporalActivity(same, same), 0.0);

    // More samples than one 32-bit partial sum of squares can hold.
    EXPECT_EQ(temporalActivity(OwnedImage(352, 288, 12), OwnedImage(352, 288, 10)), 2.0);
    EXPECT_DOUBLE_EQ(temporalActivity(OwnedImage(352, 288, 255), OwnedImage(352, 288, 0)), 255.0);

    OwnedImage current(352, 288, 0);
    const OwnedImage previous(352, 288, 0);
    current.at(351, 287) = 255;
    const double expected = 255.0 / std::sqrt(352.0 * 288.0);
    EXPECT_DOUBLE_EQ(temporalActivity(current, previous), expected);
    EXPECT_DOUBLE_EQ(temporalActivity(previous, current), expected);
    EXPECT_EQ(temporalAct(current, previous), 255.0);
}
