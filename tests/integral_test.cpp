#include <gtest/gtest.h>

#include <vector>

#include "test_support.h"
#include "tools/definitions.h"

namespace {

struct Plane32 {
    std::vector<int32_t> samples;
    Image32 image;
    Plane32(uint64_t w, uint64_t h, int32_t fill = -7) : samples(w * h, fill), image{w, h, samples.data()} {}
};

TEST(Integrate, SummedAreaTables) {
    OwnedImage square(2, 2, {1, 2, 3, 4});
    Plane32 table(2, 2);
    integrate(square, table.image);
    EXPECT_EQ(table.samples, (std::vector<int32_t>{1, 3, 4, 10}));

    OwnedImage line(3, 1, {5, 5, 5});
    Plane32 lineTable(3, 1);
    integrate(line, lineTable.image);
    EXPECT_EQ(lineTable.samples, (std::vector<int32_t>{5, 10, 15}));
}

TEST(Integrate, EmptyPlaneWritesNothing) {
    OwnedImage none(3, 0);
    Plane32 table(3, 1);
    integrate(none, table.image);
    EXPECT_EQ(table.samples, std::vector<int32_t>(3, -7));
}

TEST(BlockSumsInteg, FourCornerRuleOverTables) {
    OwnedImage square(2, 2, {1, 2, 3, 4});
    Plane32 table(2, 2);
    integrate(square, table.image);

    Plane32 unit(2, 2);
    blockSumsInteg(table.image, unit.image, 1, 1);
    EXPECT_EQ(unit.samples, (std::vector<int32_t>{1, 2, 3, 4}));

    Plane32 whole(1, 1);
    blockSumsInteg(table.image, whole.image, 2, 2);
    EXPECT_EQ(whole.samples, (std::vector<int32_t>{10}));

    OwnedImage ones(4, 4, 1);
    Plane32 onesTable(4, 4), quads(2, 2);
    integrate(ones, onesTable.image);
    blockSumsInteg(onesTable.image, quads.image, 2, 2);
    EXPECT_EQ(quads.samples, (std::vector<int32_t>{4, 4, 4, 4}));
}

TEST(BlockSumsInteg, AgreesWithDirectBlockSums) {
    // 7x5 plane of varied samples, 3x2 blocks: the last column and line take no part.
    OwnedImage src(7, 5);
    for (uint64_t y = 0; y < 5; ++y)
        for (uint64_t x = 0; x < 7; ++x) src.at(x, y) = static_cast<uint8_t>((x * 37 + y * 91 + 11) % 256);
    Plane32 table(7, 5), viaTable(2, 2), direct(2, 2, 0);
    integrate(src, table.image);
    blockSumsInteg(table.image, viaTable.image, 3, 2);
    blockSums(src, direct.image, 3, 2);
    EXPECT_EQ(viaTable.samples, direct.samples);
}

TEST(BlockSumsInteg, DifferencesWrapModulo2To32) {
    // A table whose running total has wrapped past 2^32 still gives the block total.
    std::vector<int32_t> entries{static_cast<int32_t>(0xFFFFFFF0u), 5};
    Plane32 out(2, 1);
    blockSumsInteg(makeImage32(2, 1, entries.data()), out.image, 1, 1);
    EXPECT_EQ(out.samples, (std::vector<int32_t>{static_cast<int32_t>(0xFFFFFFF0u), 21}));
}

TEST(BlockSumsInteg, EmptyBlocksTotalZero) {
    Plane32 table(2, 2, 5), out(2, 2);
    blockSumsInteg(table.image, out.image, 0, 1);
    EXPECT_EQ(out.samples, std::vector<int32_t>(4, 0));
}

TEST(BlockSumsInteg2, EightBitEntriesMayGiveNegativeTotals) {
    OwnedImage entries(2, 2, {10, 200, 5, 1});
    Plane32 out(2, 2);
    blockSumsInteg2(entries, out.image, 1, 1);
    EXPECT_EQ(out.samples, (std::vector<int32_t>{10, 190, -5, -194}));
}

TEST(PlaneSums, ThreeFormsAgree) {
    OwnedImage full(2, 2, 255);
    EXPECT_EQ(sumPixels(full), 1020u);
    EXPECT_EQ(sumH(full.image.data, 2, 2), 1020u);
    EXPECT_EQ(sumV(full.image.data, 2, 2), 1020u);

    OwnedImage varied(3, 2, {1, 2, 3, 40, 50, 60});
    EXPECT_EQ(sumPixels(varied), 156u);
    EXPECT_EQ(sumH(varied.image.data, 3, 2), 156u);
    EXPECT_EQ(sumV(varied.image.data, 3, 2), 156u);
    EXPECT_EQ(sumV(varied.image.data, 3, 1), 6u);  // one line read column by column
}

TEST(PlaneSums, EmptyCountsGiveZero) {
    OwnedImage some(3, 1, {7, 8, 9});
    EXPECT_EQ(sumPixels(makeImage(0, 4, some.image.data)), 0u);
    EXPECT_EQ(sumH(some.image.data, 3, 0), 0u);
    EXPECT_EQ(sumH(some.image.data, 0x80000000u, 1), 0u);  // negative as a signed count
    EXPECT_EQ(sumV(some.image.data, 0, 3), 0u);
    EXPECT_EQ(sumV(some.image.data, 3, 0), 0u);
    EXPECT_EQ(sumV(some.image.data, -2, 3), 0u);
}

TEST(OnlyCopy, CopiesInStorageOrderIntoAnotherShape) {
    OwnedImage src(2, 3, {1, 2, 3, 4, 5, 6});
    OwnedImage dest(3, 2, 0);
    onlyCopy(src, dest);
    EXPECT_EQ(dest.samples, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
}

}  // namespace
