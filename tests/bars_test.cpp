#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "indicators/letterbox.h"
#include "indicators/pillarbox.h"
#include "test_support.h"

namespace {

// A picture in which no row is flat and no column repeats its neighbour.
void texture(OwnedImage& img) {
    for (uint64_t y = 0; y < img.image.h; ++y)
        for (uint64_t x = 0; x < img.image.w; ++x) img.at(x, y) = static_cast<uint8_t>(x * 7 + y * 3 + 1);
}

void fillRows(OwnedImage& img, uint64_t first, uint64_t last, uint8_t level) {
    for (uint64_t y = first; y <= last; ++y)
        for (uint64_t x = 0; x < img.image.w; ++x) img.at(x, y) = level;
}

void fillColumns(OwnedImage& img, uint64_t first, uint64_t last, uint8_t level) {
    for (uint64_t y = 0; y < img.image.h; ++y)
        for (uint64_t x = first; x <= last; ++x) img.at(x, y) = level;
}

}  // namespace

TEST(Letterbox, CountsFlatRowPairsFromBothEdges) {
    EXPECT_EQ(letterbox(OwnedImage(64, 36, 9)), 1.0);

    OwnedImage hd(1920, 1080);
    texture(hd);
    fillRows(hd, 0, 139, 0);
    fillRows(hd, 940, 1079, 0);
    EXPECT_EQ(letterbox(hd), 140.0 / 540.0);
    // The bars need not share a level.
    fillRows(hd, 940, 1079, 255);
    EXPECT_EQ(letterbox(hd), 140.0 / 540.0);
}

TEST(Letterbox, ThinnerBarBoundsTheCount) {
    OwnedImage img(64, 100);
    texture(img);
    fillRows(img, 0, 9, 0);
    fillRows(img, 80, 99, 0);
    EXPECT_EQ(letterbox(img), 10.0 / 50.0);

    // Row 0 not flat: nothing counts, whatever the bottom bar.
    texture(img);
    fillRows(img, 1, 30, 0);
    fillRows(img, 60, 99, 0);
    EXPECT_EQ(letterbox(img), 0.0);
}

TEST(Letterbox, OddHeightIgnoresTheMiddleRow) {
    OwnedImage img(8, 5, 40);
    img.at(3, 2) = 41;
    EXPECT_EQ(letterbox(img), 1.0);
    EXPECT_EQ(pillarbox(img), 1.0);
}

TEST(Letterbox, DegenerateFrames) {
    EXPECT_EQ(letterbox(OwnedImage(1, 6, {1, 2, 3, 4, 5, 6})), 1.0);
    EXPECT_TRUE(std::isnan(letterbox(OwnedImage(10, 1, 3))));
    // No samples at all: the row test must not read the plane.
    OwnedImage empty(0, 4);
    empty.image.data = nullptr;
    EXPECT_EQ(letterbox(empty), 1.0);
}

TEST(CheckLetterBar, NeedsBothRowsFlat) {
    OwnedImage img(4, 4, {5, 5, 5, 5,
                          1, 2, 3, 4,
                          7, 7, 7, 7,
                          8, 8, 8, 9});
    EXPECT_FALSE(checkLetterBar(img.image.data, 4, 4, 0));
    EXPECT_FALSE(checkLetterBar(img.image.data, 4, 4, 1));
    EXPECT_TRUE(checkLetterBar(img.image.data, 4, 3, 0));
}

TEST(Pillarbox, CountsMatchingColumnsFromTheLeftEdge) {
    EXPECT_EQ(pillarbox(OwnedImage(64, 36, 9)), 1.0);

    OwnedImage hd(1920, 1080);
    texture(hd);
    fillColumns(hd, 0, 239, 16);
    EXPECT_EQ(pillarbox(hd), 239.0 / 960.0);

    // A bar on the right edge only is not seen.
    texture(hd);
    fillColumns(hd, 1680, 1919, 16);
    EXPECT_EQ(pillarbox(hd), 0.0);
}

TEST(Pillarbox, TwoWideStripesMatchOnce) {
    OwnedImage img(16, 6);
    for (uint64_t y = 0; y < 6; ++y)
        for (uint64_t x = 0; x < 16; ++x) img.at(x, y) = static_cast<uint8_t>((x / 2) % 2 ? 200 : 10);
    EXPECT_EQ(pillarbox(img), 1.0 / 8.0);
}

TEST(Pillarbox, DegenerateFrames) {
    EXPECT_TRUE(std::isnan(pillarbox(OwnedImage(1, 6, {1, 2, 3, 4, 5, 6}))));
    EXPECT_EQ(pillarbox(OwnedImage(6, 1, {1, 2, 3, 4, 5, 6})), 1.0);
}

TEST(CheckPillarBar, ComparesAcrossNotDown) {
    // Columns 0 and 1 vary down the frame, but in step with each other.
    OwnedImage img(3, 4, {1, 1, 5,
                          2, 2, 5,
                          3, 3, 5,
                          4, 4, 6});
    EXPECT_TRUE(checkPillarBar(img.image.data, 3, 4, 0));
    EXPECT_FALSE(checkPillarBar(img.image.data, 3, 4, 1));
    // The last row is the second examined; with one row nothing is examined.
    img.at(0, 3) = 9;
    EXPECT_FALSE(checkPillarBar(img.image.data, 3, 4, 0));
    EXPECT_TRUE(checkPillarBar(img.image.data, 3, 1, 1));
}
