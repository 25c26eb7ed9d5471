#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "indicators/exposure.h"
#include "indicators/interlace.h"
#include "indicators/slice.h"
#include "test_support.h"

namespace {

TEST(ExposureTest, UniformFrameGivesItsLevel) {
    for (int v : {0, 77, 255}) {
        OwnedImage frame(32, 24, static_cast<uint8_t>(v));
        EXPECT_EQ(exposure(frame), v);
    }
}

TEST(ExposureTest, FramesWithoutVisitedBlocksGiveTheInitialLists) {
    for (auto [w, h] : {std::pair{8, 40}, {40, 8}, {5, 40}, {40, 3}, {1, 1}}) {
        OwnedImage frame(w, h, 200);
        EXPECT_EQ(exposure(frame), 127.5) << w << "x" << h;
    }
    OwnedImage black(16, 16, 0), white(16, 16, 255);
    EXPECT_EQ(exposure(black), 95.625);
    EXPECT_EQ(exposure(white), 159.375);
}

TEST(ExposureTest, LastBlockRowAndColumnAreNeverVisited) {
    OwnedImage bottom(32, 32, 0), right(32, 32, 0);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            if (y >= 24) bottom.at(x, y) = 255;
            if (x >= 24) right.at(x, y) = 255;
        }
    EXPECT_EQ(exposure(bottom), 0.0);
    EXPECT_EQ(exposure(right), 0.0);
}

TEST(ExposureTest, AveragesTheFourDarkestAndFourBrightestBlocks) {
    // 6 x 4 visited blocks of levels 0..23; the extremes are 0..3 and 20..23.
    OwnedImage frame(56, 40, 0);
    for (int by = 0; by < 4; ++by)
        for (int bx = 0; bx < 6; ++bx)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) frame.at(bx * 8 + x, by * 8 + y) = static_cast<uint8_t>(by * 6 + bx);
    EXPECT_EQ(exposure(frame), (0 + 1 + 2 + 3 + 20 + 21 + 22 + 23) / 8.0);
}

TEST(InterlaceTest, CombingLinesAndProgressivePictures) {
    OwnedImage alternating(16, 8);
    OwnedImage pairs(16, 8);
    OwnedImage uniform(16, 8, 90);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            alternating.at(x, y) = y % 2 ? 235 : 16;
            pairs.at(x, y) = (y / 2) % 2 ? 235 : 16;
        }
    EXPECT_EQ(interlace(alternating), 1.0);
    EXPECT_EQ(interlace(pairs), 0.0);
    EXPECT_EQ(interlace(uniform), 0.0);
}

TEST(InterlaceTest, EveryColumnOfAGroupMustComb) {
    OwnedImage frame(16, 8, 50);
    // Group (0,0): columns in opposite phases still count.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) frame.at(x, y) = ((y + x) % 2) ? 200 : 10;
    // Group (4,0): three columns comb, the fourth has one equal pair.
    for (int y = 0; y < 4; ++y)
        for (int x = 4; x < 8; ++x) frame.at(x, y) = y % 2 ? 200 : 10;
    frame.at(7, 1) = 10;
    EXPECT_EQ(interlace(frame), 0.125);  // one group of the 4 x 2
}

TEST(InterlaceTest, PartialGroupsAreNotVisited) {
    OwnedImage frame(18, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 18; ++x) frame.at(x, y) = y % 2 ? 200 : 10;
    EXPECT_EQ(interlace(frame), 1.0);  // 4 whole groups, all combing
    OwnedImage tiny(3, 3, 1);
    EXPECT_TRUE(std::isnan(interlace(tiny)));
}

TEST(SliceTest, ComparatorAndDivision) {
    const double one = 1.0, two = 2.0, nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(compare_Double_asc(&one, &two), -1);
    EXPECT_EQ(compare_Double_asc(&two, &two), 0);
    EXPECT_EQ(compare_Double_asc(&two, &one), 1);
    EXPECT_EQ(compare_Double_asc(&nan, &one), 0);
    EXPECT_EQ(compare_Double_asc(&one, &nan), 0);
    double a[3] = {1.0, 0.0, 0.0}, b[3] = {4.0, 0.0, 2.0}, d[3] = {};
    divideDouble(makeImageDouble(1, 3, a), makeImageDouble(1, 3, b), makeImageDouble(1, 3, d));
    EXPECT_EQ(d[0], 0.25);
    EXPECT_TRUE(std::isnan(d[1]));
    EXPECT_EQ(d[2], 0.0);
}

TEST(SliceTest, UniformFrameAndHeightLimit) {
    OwnedImage uniform(64, 48, 7);
    EXPECT_EQ(slice(uniform), 1.0);
    OwnedImage low(64, 47, 7);
    EXPECT_FALSE(slice(low).has_value());
    OwnedImage narrow(16, 64, 7);
    ASSERT_TRUE(slice(narrow).has_value());
    EXPECT_TRUE(std::isnan(*slice(narrow)));
}

TEST(SliceTest, HalfHorizontalRepetitionGivesOneHalf) {
    // Rows repeat every 16 lines; along a row, columns 0-15 match their partner
    // 16 to the right and columns 16-31 do not.
    OwnedImage frame(48, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 48; ++x) frame.at(x, y) = static_cast<uint8_t>(x < 32 ? x % 16 : 100 + x);
    EXPECT_EQ(slice(frame), 0.5);
}

TEST(SliceTest, BandWithoutVerticalRepetitionGivesInfinity) {
    OwnedImage frame(48, 64, 10);
    // Lines 16-31 differ from lines 32-47 everywhere, but still repeat horizontally.
    for (int y = 16; y < 32; ++y)
        for (int x = 0; x < 48; ++x) frame.at(x, y) = 200;
    const auto value = slice(frame);
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(*value, std::numeric_limits<double>::infinity());
}

TEST(SliceTest, NotANumberBandsRankAfterNumbers) {
    // Band 0 has no repetition either way (NaN ratio); band 1 is uniform (ratio 1).
    OwnedImage frame(32, 48, 5);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) frame.at(x, y) = static_cast<uint8_t>(100 + x + 2 * y);
    EXPECT_EQ(slice(frame), 1.0);
}

}  // namespace
