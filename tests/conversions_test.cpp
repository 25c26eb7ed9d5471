#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "test_support.h"
#include "tools/definitions.h"

namespace {

struct Plane32 {
    std::vector<int32_t> samples;
    Image32 image;
    Plane32(uint64_t w, uint64_t h, std::vector<int32_t> values)
        : samples(std::move(values)), image{w, h, samples.data()} {}
    Plane32(uint64_t w, uint64_t h, int32_t fill = -7) : Plane32(w, h, std::vector<int32_t>(w * h, fill)) {}
};

TEST(Conversions, LowEightBitsAndZeroExtension) {
    Plane32 wide(5, 1, {-1, 0, 255, 256, 300});
    OwnedImage narrow(5, 1, 9);
    convI32toU8(&wide.image, &narrow.image);
    EXPECT_EQ(narrow.samples, (std::vector<uint8_t>{255, 0, 255, 0, 44}));

    Plane32 back(5, 1);
    convU8toI32(&narrow.image, &back.image);
    EXPECT_EQ(back.samples, (std::vector<int32_t>{255, 0, 255, 0, 44}));
}

TEST(Conversions, ShapesMayDifferWithTheSameCount) {
    OwnedImage tall(2, 8);
    for (int i = 0; i < 16; ++i) tall.samples[i] = static_cast<uint8_t>(i * 16);
    Plane32 square(4, 4);
    convU8toI32(&tall.image, &square.image);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(square.samples[i], i * 16);
}

using ConversionsDeathTest = ::testing::Test;

TEST_F(ConversionsDeathTest, SampleCountsAreChecked) {
    OwnedImage square(4, 4), taller(4, 5);
    Plane32 square32(4, 4), taller32(4, 5);
    EXPECT_DEATH(convU8toI32(&square.image, &taller32.image), "convU8toI32.*src->w \\* src->h == dest->w \\*dest->h");
    EXPECT_DEATH(convI32toU8(&taller32.image, &square.image), "convI32toU8.*src->w \\* src->h == dest->w \\*dest->h");
}

TEST(AreEqual, ShapeFirstThenSamples) {
    OwnedImage a(2, 3, {1, 2, 3, 4, 5, 6});
    OwnedImage b(2, 3, {1, 2, 3, 4, 5, 6});
    OwnedImage other(2, 3, {1, 2, 3, 4, 5, 7});
    OwnedImage flipped(3, 2, {1, 2, 3, 4, 5, 6});
    EXPECT_EQ(areEqual(&a.image, &a.image), 1);
    EXPECT_EQ(areEqual(&a.image, &b.image), 1);
    EXPECT_EQ(areEqual(&a.image, &other.image), 0);
    EXPECT_EQ(areEqual(&a.image, &flipped.image), 0);

    const Image emptyA = makeImage(0, 5, a.image.data);
    const Image emptyB = makeImage(0, 5, other.image.data);
    EXPECT_EQ(areEqual(&emptyA, &emptyB), 1);

    const Image sharing = makeImage(2, 3, a.image.data);
    EXPECT_EQ(areEqual(&a.image, &sharing), 1);
}

TEST(PixelArithmetic, AddSquares) {
    OwnedImage a(3, 1, {255, 3, 0});
    OwnedImage b(3, 1, {255, 4, 0});
    Plane32 dest(3, 1);
    addSquares(a, b, dest.image);
    EXPECT_EQ(dest.samples, (std::vector<int32_t>{130050, 25, 0}));

    // The sample count is taken from the first operand alone.
    Plane32 untouched(3, 1);
    addSquares(makeImage(0, 3, a.image.data), b, untouched.image);
    EXPECT_EQ(untouched.samples, std::vector<int32_t>(3, -7));
    addSquares(makeImage(2, 1, a.image.data), b, untouched.image);
    EXPECT_EQ(untouched.samples, (std::vector<int32_t>{130050, 25, -7}));
}

TEST(PixelArithmetic, DivideGoesOnPastZeroDivisors) {
    Plane32 a(2, 2, {7, -3, 0, 9});
    Plane32 b(2, 2, {2, 0, 0, -3});
    std::vector<double> out(4, 0.5);
    divide(a.image, b.image, makeImageDouble(2, 2, out.data()));
    EXPECT_EQ(out[0], 3.5);
    EXPECT_EQ(out[1], -std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(out[2]));
    EXPECT_EQ(out[3], -3.0);
}

std::string printed(void (*print)()) {
    testing::internal::CaptureStdout();
    print();
    return testing::internal::GetCapturedStdout();
}

TEST(Printers, FullRangePrintsThePlaneLineByLine) {
    EXPECT_EQ(printed([] {
                  OwnedImage src(2, 2, {1, 2, 3, 4});
                  printRange(src, 0, 1, 0, 1);
              }),
              "001 002 \n003 004 \n");
    EXPECT_EQ(printed([] {
                  Plane32 src(2, 2, {-1, 300, 0, 123456});
                  printRange32(src.image, 0, 1, 0, 1);
              }),
              "-1  300  \n0  123456  \n");
}

TEST(Printers, RangeSelectsColumnsAndLines) {
    EXPECT_EQ(printed([] {
                  OwnedImage src(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
                  printRange(src, 1, 2, 1, 2);
              }),
              "005 006 \n008 009 \n");
    EXPECT_EQ(printed([] {
                  Plane32 src(3, 2, {1, 2, 3, 4, 5, 6});
                  printRange32(src.image, 0, 0, 0, 1);
              }),
              "1  \n4  \n");
}

TEST(Printers, RangeIsClampedToThePlane) {
    EXPECT_EQ(printed([] {
                  OwnedImage src(2, 2, {1, 2, 3, 4});
                  printRange(src, -5, 10, 1, 7);
              }),
              "003 004 \n");
    // Lines without columns still end with their newline.
    EXPECT_EQ(printed([] {
                  OwnedImage src(2, 2, {1, 2, 3, 4});
                  printRange(src, 1, 0, 0, 1);
              }),
              "\n\n");
    EXPECT_EQ(printed([] {
                  OwnedImage src(2, 2, {1, 2, 3, 4});
                  printRange(src, 0, 1, 1, 0);
                  printRange(src, 0, 1, 2, 5);
                  printRange(makeImage(0, 0, nullptr), 0, 3, 0, 3);
              }),
              "");
}

TEST(LineRuns, RunsStayWithinTheirLine) {
    // A run at the end of line 0 and one at the start of line 1 are two runs.
    Plane32 split(4, 2, {0, 0, 5, 5, 5, 0, 0, 0});
    EXPECT_EQ(tempCountSeqsH(split.image, 1, 3), 0);
    EXPECT_EQ(tempCountSeqsH(split.image, 1, 2), 1);
    EXPECT_EQ(tempCountSeqsH2(split.image, 1), 2);

    Plane32 lines(4, 2, {5, 5, 0, 5, 5, 5, 5, 5});
    EXPECT_EQ(tempCountSeqsH(lines.image, 1, 2), 2);
    EXPECT_EQ(tempCountSeqsH(lines.image, 1, 4), 1);
    EXPECT_EQ(tempCountSeqsH(lines.image, 1, 0), 3);
    EXPECT_EQ(tempCountSeqsH2(lines.image, 1), 3);
}

TEST(LineRuns, LengthCountsOnlyEntriesAboveTheThreshold) {
    // The entry equal to the threshold ends the run and is not part of it.
    Plane32 src(5, 1, {5, 5, 1, 0, 0});
    EXPECT_EQ(tempCountSeqsH(src.image, 1, 3), 0);
    EXPECT_EQ(tempCountSeqsH(src.image, 1, 2), 1);
    EXPECT_EQ(tempCountSeqsH2(src.image, 1), 1);

    // Signed comparison: 0 is above -1.
    Plane32 negative(3, 1, {0, -1, 0});
    EXPECT_EQ(tempCountSeqsH2(negative.image, -1), 2);
}

TEST(LineRuns, EmptyPlaneCountsNothing) {
    Plane32 none(0, 5);
    EXPECT_EQ(tempCountSeqsH2(none.image, 0), 0);
    EXPECT_EQ(tempCountSeqsH(none.image, 0, 1), 0);
    Plane32 noLines(4, 0);
    EXPECT_EQ(tempCountSeqsH2(noLines.image, 0), 0);
}

}  // namespace
