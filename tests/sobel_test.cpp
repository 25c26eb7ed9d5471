#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "test_support.h"
#include "tools/definitions.h"

namespace {

// A 32-bit plane owning its samples, filled with a marker so that untouched
// samples show.
struct Plane32 {
    std::vector<int32_t> samples;
    Image32 image;
    Plane32(uint64_t w, uint64_t h, int32_t fill = -7) : samples(w * h, fill), image{w, h, samples.data()} {}
};

std::vector<int32_t> zerosBut(uint64_t n, uint64_t index, int32_t value) {
    std::vector<int32_t> v(n, 0);
    v[index] = value;
    return v;
}

TEST(Sobel, SingleInteriorSampleOfThreeByThree) {
    OwnedImage src(3, 3, {0, 0, 10, 0, 0, 10, 0, 0, 10});
    Plane32 gx(3, 3), gy(3, 3);
    EXPECT_DOUBLE_EQ(sobel(&src.image, &gx.image, &gy.image), 40.0);
    EXPECT_EQ(gx.samples, zerosBut(9, 4, 40));
    EXPECT_EQ(gy.samples, std::vector<int32_t>(9, 0));
}

TEST(Sobel, DiagonalCornerGivesBothComponents) {
    // Only the bottom-right sample is set: Gx = Gy = 1 at the centre.
    OwnedImage src(3, 3, {0, 0, 0, 0, 0, 0, 0, 0, 1});
    Plane32 gx(3, 3), gy(3, 3);
    EXPECT_DOUBLE_EQ(sobel(&src.image, &gx.image, &gy.image), std::sqrt(2.0));
    EXPECT_EQ(gy.samples, zerosBut(9, 4, 1));

    OwnedImage bx(3, 3, 9), by(3, 3, 9);
    EXPECT_EQ(sobel2(&src.image, &bx.image, &by.image), 1);  // integer part of sqrt(2)
}

TEST(Sobel, UniformSourceGivesZeroPlanes) {
    OwnedImage src(6, 5, 123);
    Plane32 gx(6, 5), gy(6, 5);
    EXPECT_EQ(sobel(&src.image, &gx.image, &gy.image), 0.0);
    EXPECT_EQ(gx.samples, std::vector<int32_t>(30, 0));
    EXPECT_EQ(gy.samples, std::vector<int32_t>(30, 0));

    OwnedImage bx(6, 5, 9), by(6, 5, 9);
    EXPECT_EQ(sobel2(&src.image, &bx.image, &by.image), 0);
    EXPECT_EQ(bx.samples, std::vector<uint8_t>(30, 0));
    EXPECT_EQ(by.samples, std::vector<uint8_t>(30, 0));
}

TEST(Sobel, VerticalStepAndItsEightBitWrap) {
    // Columns 0 0 255 255 255 on four lines: Gx = 1020 at columns 1 and 2 of the two
    // interior lines.
    OwnedImage src(5, 4);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 2; x < 5; ++x) src.at(x, y) = 255;
    Plane32 gx(5, 4), gy(5, 4);
    EXPECT_DOUBLE_EQ(sobel(&src.image, &gx.image, &gy.image), 2040.0);
    const std::vector<int32_t> expectedX{0, 0, 0, 0, 0, 0, 1020, 1020, 0, 0, 0, 1020, 1020, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(gx.samples, expectedX);

    OwnedImage bx(5, 4, 9), by(5, 4, 9);
    EXPECT_EQ(sobel2(&src.image, &bx.image, &by.image), 4 * 252);
    EXPECT_EQ(bx.at(1, 1), 252);
    EXPECT_EQ(bx.at(2, 2), 252);
    EXPECT_EQ(bx.at(3, 1), 0);
    EXPECT_EQ(bx.at(4, 2), 0);

    // The falling step gives -1020, stored as its low byte 4.
    OwnedImage fall(5, 4, 255);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 2; x < 5; ++x) fall.at(x, y) = 0;
    EXPECT_EQ(sobel2(&fall.image, &bx.image, &by.image), 4 * 4);
    EXPECT_EQ(bx.at(1, 1), 4);
}

TEST(Sobel, TwoLineSourceHasNoInteriorAndIsZeroed) {
    OwnedImage src(4, 2, {0, 50, 100, 150, 200, 250, 0, 0});
    Plane32 gx(4, 2), gy(4, 2);
    EXPECT_EQ(sobel(&src.image, &gx.image, &gy.image), 0.0);
    EXPECT_EQ(gx.samples, std::vector<int32_t>(8, 0));
    EXPECT_EQ(gy.samples, std::vector<int32_t>(8, 0));
}

TEST(AbsGradient, TwoByTwo) {
    OwnedImage src(2, 2, {10, 30, 50, 5});
    Plane32 gx(2, 2), gy(2, 2);
    absGradient(&src.image, &gx.image, &gy.image);
    EXPECT_EQ(gx.samples, (std::vector<int32_t>{0, 0, 0, 45}));
    EXPECT_EQ(gy.samples, (std::vector<int32_t>{0, 0, 0, 25}));
}

TEST(AbsGradient, FillsLastLineAndColumn) {
    OwnedImage src(3, 3, {0, 1, 3, 6, 10, 15, 21, 28, 36});
    Plane32 gx(3, 3), gy(3, 3);
    absGradient(&src.image, &gx.image, &gy.image);
    EXPECT_EQ(gx.samples, (std::vector<int32_t>{0, 0, 0, 0, 4, 5, 0, 7, 8}));
    EXPECT_EQ(gy.samples, (std::vector<int32_t>{0, 0, 0, 0, 9, 12, 0, 18, 21}));
}

TEST(ImageSqrt, SameCountOtherShape) {
    std::vector<double> in(16), out(16, -1.0);
    for (int i = 0; i < 16; ++i) in[i] = i * i;
    in[15] = -4.0;
    const ImageDouble src = makeImageDouble(2, 8, in.data());
    const ImageDouble dest = makeImageDouble(4, 4, out.data());
    imageSqrt(&src, &dest);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(out[i], i);
    EXPECT_TRUE(std::isnan(out[15]));
}

using SobelDeathTest = ::testing::Test;

TEST_F(SobelDeathTest, DestinationSizesAreChecked) {
    OwnedImage src(4, 4);
    Plane32 good(4, 4), shortX(4, 3), narrowY(3, 4);
    OwnedImage good8(4, 4), bad8(4, 5);
    const char* onX = "src->h == destX->h && src->w == destX->w";
    const char* onY = "src->h == destY->h && src->w == destY->w";
    EXPECT_DEATH(sobel(&src.image, &shortX.image, &narrowY.image), onX);
    EXPECT_DEATH(sobel(&src.image, &good.image, &narrowY.image), onY);
    EXPECT_DEATH(sobel2(&src.image, &bad8.image, &bad8.image), onX);
    EXPECT_DEATH(sobel2(&src.image, &good8.image, &bad8.image), onY);
    EXPECT_DEATH(absGradient(&src.image, &shortX.image, &narrowY.image), onX);
    EXPECT_DEATH(absGradient(&src.image, &good.image, &shortX.image), onY);

    std::vector<double> a(16), b(20);
    const ImageDouble square = makeImageDouble(4, 4, a.data());
    const ImageDouble taller = makeImageDouble(4, 5, b.data());
    EXPECT_DEATH(imageSqrt(&square, &taller), "imageSqrt.*src->w \\* src->h == dest->w \\*dest->h");
}

}  // namespace
