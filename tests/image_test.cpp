#include <gtest/gtest.h>

#include "tools/image.h"
#include "tools/scratch.h"

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

TEST(ScratchTest, SlotsAreZeroedOnEveryRequestAndReused) {
    Image32 first = scratchImage32(0, 16, 16);
    for (int i = 0; i < 256; ++i) first.data[i] = i + 1;
    Image32 again = scratchImage32(0, 8, 8);
    EXPECT_EQ(again.data, first.data);  // no new allocation for a smaller plane
    for (int i = 0; i < 64; ++i) EXPECT_EQ(again.data[i], 0);
    ImageDouble other = scratchImageDouble(1, 8, 8);
    EXPECT_NE(static_cast<void*>(other.data), static_cast<void*>(again.data));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(other.data) % 64, 0u);
}

}  // namespace
