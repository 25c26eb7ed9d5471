#include <gtest/gtest.h>

#include "tools/image.h"
#include "indicators/slice.h"
#include "tools/workspace.h"

namespace {

TEST(ImageTest, ZeroFilledAllocationsHoldSizeAndZeros) {
    Image32 plane = callocImage32(3, 2);
    ASSERT_NE(plane.data, nullptr);
    EXPECT_EQ(plane.w, 3u);
    EXPECT_EQ(plane.h, 2u);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(plane.data[i], 0);
    freeImage32(&plane);

    ImageDouble doubles = callocImageDouble(4, 1);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(doubles.data[i], 0.0);
    freeImageDouble(&doubles);
}

TEST(ImageTest, MakeSharesTheCallersSamples) {
    uint8_t samples[6] = {1, 2, 3, 4, 5, 6};
    Image view = makeImage(3, 2, samples);
    view.data[1 * view.w + 2] = 60;
    EXPECT_EQ(samples[5], 60);
    const Image copy = view;
    EXPECT_EQ(copy.data, samples);
}

TEST(ImageTest, ReleaseLeavesTheRecordUnchanged) {
    Image plane = allocImage(5, 5);
    const Image copy = plane;
    freeImage(&plane);
    EXPECT_EQ(plane.w, 5u);
    EXPECT_EQ(plane.data, copy.data);
}

TEST(ImageTest, EveryAllocatorGivesAPlaneOfTheRequestedSize) {
    Image bytes = callocImage(7, 3);
    ASSERT_NE(bytes.data, nullptr);
    for (int i = 0; i < 21; ++i) EXPECT_EQ(bytes.data[i], 0);
    freeImage(&bytes);
    ImageDouble doubles = allocImageDouble(5, 2);
    ASSERT_NE(doubles.data, nullptr);
    EXPECT_EQ(doubles.w * doubles.h, 10u);
    for (int i = 0; i < 10; ++i) doubles.data[i] = i;  // writable to the last sample
    freeImageDouble(&doubles);
}

TEST(WorkspaceTest, ReusedPlanesKeepTheirStorageAndContent) {
    Reusable<int32_t> buffer;
    Image32 first = planeIn(buffer, 16, 16);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(first.data[i], 0);  // created as zeros
    for (int i = 0; i < 256; ++i) first.data[i] = i + 1;
    Image32 again = planeIn(buffer, 8, 8);
    EXPECT_EQ(again.data, first.data);  // no new allocation for a smaller plane
    EXPECT_EQ(again.data[5], 6);        // and no clearing
    Image32 cleared = clearedPlaneIn(buffer, 4, 4);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(cleared.data[i], 0);
    EXPECT_EQ(first.data[16], 17);  // only the plane asked for is cleared
}

TEST(CompareShiftedTest, MarksSamplesEqualToTheOneShiftFurtherOn) {
    uint8_t samples[] = {1, 2, 1, 9,
                         2, 2, 2, 7};
    const Image src = makeImage(4, 2, samples);
    // Rows of the destination start at multiples of the source's width.
    uint8_t right[4] = {};
    compareShifted(src, makeImage(2, 2, right), 2);
    const uint8_t expectedRight[4] = {1, 0, 1, 0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(right[i], expectedRight[i]) << i;
    uint8_t down[4] = {};
    compareShifted(src, makeImage(4, 1, down), 4);  // one row down
    const uint8_t expectedDown[4] = {0, 1, 0, 0};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(down[i], expectedDown[i]) << i;
}

}  // namespace
