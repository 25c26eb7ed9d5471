#include "tools/filtering.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct Plane32 {
    std::vector<int32_t> samples;
    Image32 image;
    Plane32(uint64_t w, uint64_t h, int32_t fill = 0) : samples(w * h, fill), image{w, h, samples.data()} {}
};

struct PlaneDouble {
    std::vector<double> samples;
    ImageDouble image;
    PlaneDouble(uint64_t w, uint64_t h, double fill = 0.0) : samples(w * h, fill), image{w, h, samples.data()} {}
};

Image view(const OwnedImage& img) { return img; }

}  // namespace

TEST(Gradient, RampsAndNarrowPlanes) {
    OwnedImage columns(6, 4);
    OwnedImage rows(6, 4);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < 6; ++x) {
            columns.at(x, y) = static_cast<uint8_t>(x);
            rows.at(x, y) = static_cast<uint8_t>(y);
        }
    Image src = view(columns);
    Plane32 gx(6, 4, 7), gy(6, 4, 7);
    gradient(&src, &gx.image, &gy.image);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < 6; ++x) {
            EXPECT_EQ(gx.samples[y * 6 + x], (x > 0 && y > 0) ? 1 : 0) << x << "," << y;
            EXPECT_EQ(gy.samples[y * 6 + x], 0) << x << "," << y;
        }

    src = view(rows);
    gradient(&src, &gx.image, &gy.image);
    for (uint64_t y = 0; y < 4; ++y)
        for (uint64_t x = 0; x < 6; ++x) {
            EXPECT_EQ(gx.samples[y * 6 + x], 0);
            EXPECT_EQ(gy.samples[y * 6 + x], (x > 0 && y > 0) ? 1 : 0);
        }

    // Full range both ways, and a one-sample-wide plane that has only column 0.
    OwnedImage step(2, 2, {255, 0, 0, 255});
    Plane32 sx(2, 2), sy(2, 2);
    src = view(step);
    gradient(&src, &sx.image, &sy.image);
    EXPECT_EQ(sx.samples[3], 255);
    EXPECT_EQ(sy.samples[3], 255);
    OwnedImage step2(2, 2, {0, 255, 255, 0});
    src = view(step2);
    gradient(&src, &sx.image, &sy.image);
    EXPECT_EQ(sx.samples[3], -255);
    EXPECT_EQ(sy.samples[3], -255);

    OwnedImage narrow(1, 5, {9, 200, 3, 77, 1});
    Plane32 nx(1, 5, 5), ny(1, 5, 5);
    src = view(narrow);
    gradient(&src, &nx.image, &ny.image);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(nx.samples[i], 0);
        EXPECT_EQ(ny.samples[i], 0);
    }
}

TEST(GradientDeathTest, SizeMismatchAsserts) {
    OwnedImage img(4, 4);
    Image src = view(img);
    Plane32 good(4, 4), wide(5, 4), tall(4, 5);
    EXPECT_DEATH(gradient(&src, &wide.image, &good.image), "src->h == destX->h && src->w == destX->w");
    EXPECT_DEATH(gradient(&src, &good.image, &tall.image), "src->h == destY->h && src->w == destY->w");
    EXPECT_DEATH(gradient(&src, &tall.image, &tall.image), "destX");
}

TEST(CalculateStdDevs, HalfBlackHalfWhiteAndSaturatedBlocks) {
    // Left block: 32 samples 0 and 32 samples 255; right block uniform 77.
    OwnedImage img(20, 10, 1);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 16; ++x) img.at(x, y) = x < 8 ? ((x + y) % 2 ? 255 : 0) : 77;
    // Columns 16..19 and rows 8..9 lie outside the grid and must not count.
    for (uint64_t y = 0; y < 10; ++y)
        for (uint64_t x = 16; x < 20; ++x) img.at(x, y) = 250;
    for (uint64_t x = 0; x < 20; ++x) img.at(x, 8) = img.at(x, 9) = 250;
    Image src = view(img);
    Plane32 sums(2, 1), squares(2, 1);
    PlaneDouble dev(2, 1);
    calculateStdDevs(&src, &sums.image, &squares.image, &dev.image, 8, 8);
    EXPECT_EQ(sums.samples[0], 8160);
    EXPECT_EQ(squares.samples[0], 2080800);
    EXPECT_DOUBLE_EQ(dev.samples[0], std::sqrt(1040400.0 / 63.0));
    EXPECT_NEAR(dev.samples[0], 128.51, 0.005);
    EXPECT_EQ(sums.samples[1], 77 * 64);
    EXPECT_EQ(dev.samples[1], 0.0);

    // S = 65280 for a 16x16 block of 255: S*S does not fit 32 bits.
    OwnedImage white(16, 16, 255);
    Image w = view(white);
    Plane32 s1(1, 1), q1(1, 1);
    PlaneDouble d1(1, 1, -1.0);
    calculateStdDevs(&w, &s1.image, &q1.image, &d1.image, 16, 16);
    EXPECT_EQ(s1.samples[0], 65280);
    EXPECT_EQ(q1.samples[0], 16646400);
    EXPECT_EQ(d1.samples[0], 0.0);
}

TEST(CalculateStdDevs, GridOfBlocksInRasterOrder) {
    OwnedImage img(16, 16);
    for (uint64_t y = 0; y < 16; ++y)
        for (uint64_t x = 0; x < 16; ++x)
            img.at(x, y) = static_cast<uint8_t>((x / 8) + 2 * (y / 8) + ((x + y) % 2) * 10);
    Image src = view(img);
    Plane32 sums(2, 2), squares(2, 2);
    PlaneDouble dev(2, 2);
    calculateStdDevs(&src, &sums.image, &squares.image, &dev.image, 8, 8);
    for (int b = 0; b < 4; ++b) {
        EXPECT_EQ(sums.samples[b], 64 * b + 320);
        EXPECT_DOUBLE_EQ(dev.samples[b], std::sqrt(64.0 * 25.0 / 63.0));
    }
}

TEST(Filter, CentreOnlyKernelCopiesInteriors) {
    OwnedImage img(24, 8);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 24; ++x) img.at(x, y) = static_cast<uint8_t>(x * 8 + y);
    Image src = view(img);
    PlaneDouble dest(24, 8, -3.0);
    PlaneDouble kernel(3, 3);
    kernel.samples[4] = 1.0;
    EXPECT_EQ(filter(&src, &dest.image, &kernel.image, 2, 8, 8), 0);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 24; ++x) {
            const bool interior = x < 16 && y >= 1 && y <= 6 && x % 8 >= 1 && x % 8 <= 6;
            EXPECT_EQ(dest.samples[y * 24 + x], interior ? img.at(x, y) : -3.0) << x << "," << y;
        }
}

TEST(Filter, WeightsAreACorrelationWithinTheBlock) {
    OwnedImage img(8, 8);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 8; ++x) img.at(x, y) = static_cast<uint8_t>(10 * y + x);
    Image src = view(img);
    PlaneDouble dest(8, 8);
    PlaneDouble kernel(3, 3);
    kernel.samples[0] = 1.0;    // upper left neighbour
    kernel.samples[5] = 0.5;    // right neighbour
    EXPECT_EQ(filter(&src, &dest.image, &kernel.image, 1, 8, 8), 0);
    EXPECT_EQ(dest.samples[1 * 8 + 1], 0.0 + 0.5 * 12);
    EXPECT_EQ(dest.samples[6 * 8 + 6], 55.0 + 0.5 * 67);
}

TEST(Filter, RefusalsPrintAndReturnMinusOne) {
    OwnedImage img(16, 8, 5);
    Image src = view(img);
    PlaneDouble dest(16, 8, 2.0), other(16, 9);
    PlaneDouble tall(2, 9), square(3, 3);

    testing::internal::CaptureStdout();
    EXPECT_EQ(filter(&src, &other.image, &square.image, 0, 8, 8), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Source and destination images do not match with their size!\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(filter(&src, &dest.image, &tall.image, 2, 8, 8), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Source image is to small for that kernel!\n");

    // A strip wider than the source would be read and written out of bounds.
    testing::internal::CaptureStdout();
    EXPECT_EQ(filter(&src, &dest.image, &square.image, 3, 8, 8), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Source image is to small for that kernel!\n");

    // A kernel taller than 2r + 1 would reach below the last source row.
    PlaneDouble twoBySix(2, 6);
    testing::internal::CaptureStdout();
    EXPECT_EQ(filter(&src, &dest.image, &twoBySix.image, 1, 8, 8), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Source image is to small for that kernel!\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(filter(&src, &dest.image, &square.image, 0, 8, 8), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    for (double v : dest.samples) EXPECT_EQ(v, 2.0);
}

TEST(Filter, KernelOneSampleWideHasNoFrame) {
    // r = 0: every sample of every block is its own window, scaled by the weight.
    OwnedImage img(16, 8);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 16; ++x) img.at(x, y) = static_cast<uint8_t>(x + 16 * y);
    Image src = view(img);
    PlaneDouble dest(16, 8, -1.0);
    PlaneDouble single(1, 1, 2.0);
    EXPECT_EQ(filter(&src, &dest.image, &single.image, 2, 8, 8), 0);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 16; ++x) EXPECT_EQ(dest.samples[y * 16 + x], 2.0 * img.at(x, y));

    // A 1x2 kernel reaches one row down, which the last row of the strip cannot.
    PlaneDouble column(1, 2, 1.0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(filter(&src, &dest.image, &column.image, 1, 8, 8), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Source image is to small for that kernel!\n");
    EXPECT_EQ(filter(&src, &dest.image, &column.image, 1, 8, 7), 0);
    EXPECT_EQ(dest.samples[6 * 16 + 3], 3.0 + 16 * 6 + 3.0 + 16 * 7);
}

TEST(CalculateStdDevsDoubleOmmitZeros, InteriorOnly) {
    PlaneDouble src(16, 8);
    for (uint64_t y = 0; y < 8; ++y)
        for (uint64_t x = 0; x < 16; ++x) {
            const bool frame = y == 0 || y == 7 || x % 8 == 0 || x % 8 == 7;
            src.samples[y * 16 + x] = frame ? 1000.0 * (x + 1) * (y + 3) : (x < 8 ? 42.0 : static_cast<double>(x % 2));
        }
    PlaneDouble sums(2, 1), squares(2, 1), dest(2, 1), kernel(3, 3);
    calculateInteriorStdDevs(&src.image, &sums.image, &squares.image, &dest.image, &kernel.image, 8, 8);
    EXPECT_EQ(sums.samples[0], 42.0 * 36);
    EXPECT_EQ(dest.samples[0], 0.0);
    // 18 ones and 18 zeros: divisor 35.
    EXPECT_EQ(sums.samples[1], 18.0);
    EXPECT_DOUBLE_EQ(dest.samples[1], std::sqrt((18.0 - 18.0 * 18.0 / 36.0) / 35.0));
}

TEST(CalculateStdDevsDoubleOmmitZeros, NonSquareKernelWritesNothing) {
    PlaneDouble src(8, 8, 3.0), sums(1, 1, 7.0), squares(1, 1, 8.0), dest(1, 1, 9.0), kernel(3, 5);
    testing::internal::CaptureStdout();
    calculateInteriorStdDevs(&src.image, &sums.image, &squares.image, &dest.image, &kernel.image, 8, 8);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Provided kernel is not symmetric!");
    EXPECT_EQ(sums.samples[0], 7.0);
    EXPECT_EQ(squares.samples[0], 8.0);
    EXPECT_EQ(dest.samples[0], 9.0);
}
