#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "test_support.h"
#include "tools/definitions.h"

TEST(BlockSums, SumsWholeBlocksAndAccumulatesIntoDest) {
    OwnedImage frame(16, 16, 255);
    Image32 dest = callocImage32(2, 2);
    blockSums(frame, dest, 8, 8);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dest.data[i], 16320);
    // A second call adds onto what is already there.
    blockSums(frame, dest, 8, 8);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(dest.data[i], 32640);
    freeImage32(&dest);
}

TEST(BlockSums, SamplesOutsideTheWholeBlocksTakeNoPart) {
    // 17x9: column 16 and row 8 lie outside the two whole blocks.
    OwnedImage frame(17, 9, 0);
    for (uint64_t x = 0; x < 17; ++x)
        for (uint64_t y = 0; y < 8; ++y) frame.at(x, y) = static_cast<uint8_t>(x < 8 ? 1 : 2);
    for (uint64_t y = 0; y < 9; ++y) frame.at(16, y) = 200;
    for (uint64_t x = 0; x < 17; ++x) frame.at(x, 8) = 200;
    Image32 dest = callocImage32(2, 1);
    blockSums(frame, dest, 8, 8);
    EXPECT_EQ(dest.data[0], 64);
    EXPECT_EQ(dest.data[1], 128);
    freeImage32(&dest);
}

TEST(BlockSums, FullWidthBandsSumWholeRows) {
    OwnedImage frame(3, 4, {1, 2, 3,
                            4, 5, 6,
                            7, 8, 9,
                            10, 11, 12});
    Image32 dest = callocImage32(1, 2);
    blockSums(frame, dest, 3, 2);
    EXPECT_EQ(dest.data[0], 21);
    EXPECT_EQ(dest.data[1], 57);
    freeImage32(&dest);
}

TEST(SumPixels32, AddsSignedSamples) {
    int32_t samples[] = {-5, 3};
    EXPECT_EQ(sumPixels32(makeImage32(2, 1, samples)), -2);
    EXPECT_EQ(sumPixels32(makeImage32(0, 5, samples)), 0);
}

TEST(SumPixels32, CarriesTheTotalIn64Bits) {
    Image32 plane = allocImage32(4096, 4096);
    ASSERT_NE(plane.data, nullptr);
    for (uint64_t i = 0; i < plane.w * plane.h; ++i) plane.data[i] = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(sumPixels32(plane), INT64_C(36028797002186752));
    freeImage32(&plane);
}
