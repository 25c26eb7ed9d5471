#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "test_support.h"
#include "tools/roberts.h"

namespace {

struct OwnedImage32 {
    std::vector<int32_t> samples;
    Image32 image;
    OwnedImage32(uint64_t w, uint64_t h, int32_t fill = 0) : samples(w * h, fill) {
        image = makeImage32(w, h, samples.data());
    }
    OwnedImage32(const OwnedImage32&) = delete;
    OwnedImage32& operator=(const OwnedImage32&) = delete;
    int32_t& at(uint64_t x, uint64_t y) { return samples[y * image.w + x]; }
};

// Fills the destination with garbage so that every zeroed sample is really written.
void scribble(OwnedImage32& plane) {
    for (int32_t& v : plane.samples) v = 777;
}

TEST(RobertsTest, CrossOfTheThreeByThreeRamp) {
    OwnedImage src(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    OwnedImage32 x(3, 3), y(3, 3);
    scribble(x);
    scribble(y);
    roberts(src, x.image, y.image);
    EXPECT_EQ(x.samples, (std::vector<int32_t>{0, 0, 0, 0, -4, -4, 0, -4, -4}));
    EXPECT_EQ(y.samples, (std::vector<int32_t>{0, 0, 0, 0, -2, -2, 0, -2, -2}));
}

TEST(RobertsTest, DiagonalsKeepTheirSignsAndFullRange) {
    // p(0,0)=255 above-left of p(1,1)=0; p(1,0)=0 above p(0,1)=255.
    OwnedImage src(2, 2, {255, 0, 255, 0});
    OwnedImage32 x(2, 2), y(2, 2);
    roberts(src, x.image, y.image);
    EXPECT_EQ(x.at(1, 1), 255);
    EXPECT_EQ(y.at(1, 1), -255);
}

TEST(RobertsDeathTest, SizeChecksFireInOrder) {
    OwnedImage src(4, 4);
    OwnedImage32 good(4, 4), shortY(4, 3), narrowX(3, 4);
    EXPECT_DEATH(roberts(src, good.image, shortY.image), "src->h == destY->h && src->w == destY->w");
    EXPECT_DEATH(roberts(src, narrowX.image, shortY.image), "src->h == destX->h && src->w == destX->w");
}

TEST(RobertsSkipTest, UnitStepsEqualTheFullCross) {
    std::mt19937 rng(7);
    OwnedImage src(37, 23);
    for (uint8_t& v : src.samples) v = static_cast<uint8_t>(rng());
    OwnedImage32 fx(37, 23), fy(37, 23), sx(37, 23), sy(37, 23);
    scribble(sx);
    scribble(sy);
    roberts(src, fx.image, fy.image);
    robertsSkip(src, sx.image, sy.image, 1, 1);
    EXPECT_EQ(sx.samples, fx.samples);
    EXPECT_EQ(sy.samples, fy.samples);
}

TEST(RobertsSkipTest, GridLinesTakeOnlyTheRowsAroundTheBoundary) {
    OwnedImage src(32, 32);
    for (uint64_t y = 0; y < 32; ++y)
        for (uint64_t x = 0; x < 32; ++x) src.at(x, y) = static_cast<uint8_t>(y == 15 ? 100 + x : y == 16 ? 50 : 0);
    OwnedImage32 x(32, 2), y(32, 2);
    scribble(x);
    scribble(y);
    robertsSkip(src, x.image, y.image, 1, 16);
    for (uint64_t c = 0; c < 32; ++c) {
        EXPECT_EQ(x.at(c, 0), 0);
        EXPECT_EQ(y.at(c, 0), 0);
        EXPECT_EQ(x.at(c, 1), c == 0 ? 0 : int32_t(100 + c - 1) - 50) << c;
        EXPECT_EQ(y.at(c, 1), c == 0 ? 0 : int32_t(100 + c) - 50) << c;
    }

    // The vertical grid: column c of the result looks at source columns 16c-1, 16c.
    OwnedImage cols(33, 3);
    for (uint64_t r = 0; r < 3; ++r) cols.at(15, r) = 9, cols.at(16, r) = static_cast<uint8_t>(r);
    OwnedImage32 vx(3, 3), vy(3, 3);
    robertsSkip(cols, vx.image, vy.image, 16, 1);
    EXPECT_EQ(vx.samples, (std::vector<int32_t>{0, 0, 0, 0, 9 - 1, 0, 0, 9 - 2, 0}));
    EXPECT_EQ(vy.samples, (std::vector<int32_t>{0, 0, 0, 0, 0 - 9, 0, 0, 1 - 9, 0}));
}

TEST(PixelProductTest, SquaresAndProducts) {
    OwnedImage32 a(2, 1), b(2, 1), d(2, 1);
    a.samples = {-4, 3};
    b.samples = {-2, 7};
    a.image.data = a.samples.data();
    b.image.data = b.samples.data();
    addSquares32(a.image, b.image, d.image);
    EXPECT_EQ(d.samples, (std::vector<int32_t>{20, 58}));
    multiply(a.image, b.image, d.image);
    EXPECT_EQ(d.samples, (std::vector<int32_t>{8, 21}));

    // No samples in the first operand: nothing is written.
    OwnedImage32 empty(0, 5), out(2, 1, 99);
    addSquares32(empty.image, b.image, out.image);
    multiply(empty.image, b.image, out.image);
    EXPECT_EQ(out.samples, (std::vector<int32_t>{99, 99}));
}

// One 16-sample segment with the given samples, counted with minLength 12 and threshold 10.
int32_t countSegment(const std::vector<int32_t>& samples) {
    OwnedImage32 src(16, 1), dest(1, 1);
    for (size_t i = 0; i < samples.size(); ++i) src.samples[i] = samples[i];
    countSeqsH(src.image, dest.image, 16, 1, 12, 10.0);
    return dest.samples[0];
}

std::vector<int32_t> repeat(std::initializer_list<std::pair<int, int32_t>> parts) {
    std::vector<int32_t> out;
    for (auto [count, value] : parts) out.insert(out.end(), count, value);
    return out;
}

TEST(CountSeqsHTest, RunsCountOnceWhenTheyReachTheMinimum) {
    EXPECT_EQ(countSegment(repeat({{12, 11}, {4, 0}})), 1);
    EXPECT_EQ(countSegment(repeat({{16, 11}})), 1);
    EXPECT_EQ(countSegment(repeat({{11, 11}, {5, 0}})), 0);
    EXPECT_EQ(countSegment(repeat({{11, 11}, {1, 10}, {4, 11}})), 0);
}

TEST(CountSeqsHTest, RunsStopAtBlockAndRowEndsAndAccumulate) {
    // Eight strong samples at the end of block 0 and eight at the start of block 1.
    OwnedImage32 src(32, 2), dest(2, 1, 5);
    for (int x = 8; x < 24; ++x) src.at(x, 0) = 50;
    // Row 1 holds a run of its own.
    for (int x = 0; x < 12; ++x) src.at(x, 1) = 50;
    countSeqsH(src.image, dest.image, 16, 2, 12, 10.0);
    EXPECT_EQ(dest.samples, (std::vector<int32_t>{6, 5}));

    // Trailing samples right of the last whole block take no part.
    OwnedImage32 wide(20, 1, 50), one(1, 1);
    countSeqsH(wide.image, one.image, 8, 1, 12, 10.0);
    EXPECT_EQ(one.samples[0], 0);
}

TEST(CountSeqsVTest, CountersClearAtTheEndOfEachBlockRow) {
    auto countColumn = [](int firstStrong) {
        OwnedImage32 src(1, 512), dest(1, 2), runs(1, 1);
        for (int y = firstStrong; y < firstStrong + 12; ++y) src.at(0, y) = 50;
        countSeqsV(src.image, dest.image, runs.image, 1, 256, 12, 10.0);
        EXPECT_EQ(runs.samples[0], 0);
        return dest.samples;
    };
    EXPECT_EQ(countColumn(250), (std::vector<int32_t>{0, 0}));
    EXPECT_EQ(countColumn(240), (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(countColumn(256), (std::vector<int32_t>{0, 1}));
}

TEST(CountSeqsVTest, ColumnsAreIndependentAndBlocksTakeTheirColumns) {
    // 4 columns, blocks of 2 columns x 4 rows; the threshold ends runs.
    OwnedImage32 src(4, 4), dest(2, 1), runs(4, 1);
    for (int y = 0; y < 4; ++y) src.at(1, y) = 11, src.at(2, y) = y == 2 ? 10 : 11, src.at(3, y) = 11;
    countSeqsV(src.image, dest.image, runs.image, 2, 4, 3, 10.0);
    EXPECT_EQ(dest.samples, (std::vector<int32_t>{1, 1}));
    EXPECT_EQ(runs.samples, (std::vector<int32_t>{0, 0, 0, 0}));

    // With blockH 1 only a minimum of 1 can count.
    OwnedImage32 col(1, 3, 50), perRow(1, 3), counter(1, 1);
    countSeqsV(col.image, perRow.image, counter.image, 1, 1, 2, 10.0);
    EXPECT_EQ(perRow.samples, (std::vector<int32_t>{0, 0, 0}));
    countSeqsV(col.image, perRow.image, counter.image, 1, 1, 1, 10.0);
    EXPECT_EQ(perRow.samples, (std::vector<int32_t>{1, 1, 1}));
}

}  // namespace
