// The frames a segment reads before its start: the fewest its temporal indicators need.
#include <gtest/gtest.h>

#include "indicators/registry.h"

namespace {

uint32_t maskOf(std::initializer_list<const char*> keys) {
    uint32_t mask = 0;
    for (const char* key : keys)
        mask |= indicatorRegistry()[static_cast<std::size_t>(*findIndicator(key))].requiredMask;
    return mask;
}

TEST(WarmUp, TheLongestNeedOfTheRequestedIndicators) {
    // Temporal activity: the previous frame.
    EXPECT_EQ(warmUpStart(maskOf({"temporal_activity"}), 20, 0, 25), 19);
    // Freezing: a run of ceil(fps / 10) still frames.
    EXPECT_EQ(warmUpStart(maskOf({"freezing"}), 20, 0, 25), 17);
    EXPECT_EQ(warmUpStart(maskOf({"freezing"}), 20, 0, 60), 14);
    // Flickering: from the frame before its period (frames 1-8, 9-16, 17-24, ... of a run
    // from 0), and the window of the evidence of the period's end (1.25 s and 2 frames) before it.
    EXPECT_EQ(warmUpStart(maskOf({"flickering"}), 100, 0, 25), 96 - 33);
    EXPECT_EQ(warmUpStart(maskOf({"flickering"}), 97, 0, 25), 96 - 33);
    EXPECT_EQ(warmUpStart(maskOf({"flickering"}), 96, 0, 25), 88 - 33);
    EXPECT_EQ(warmUpStart(maskOf({"flickering"}), 100, 3, 25), 99 - 33);
    EXPECT_EQ(warmUpStart(maskOf({"flickering"}), 100, 3, 30), 99 - 40);
    EXPECT_EQ(warmUpStart(maskOf({"flickering"}), 20, 0, 25), 0);
    EXPECT_EQ(warmUpStart(kAllIndicators, 100, 0, 25), 96 - 33);
}

TEST(WarmUp, NothingBeforeTheOriginNorForSpatialIndicators) {
    EXPECT_EQ(warmUpStart(kAllIndicators, 20, 20, 25), 20);
    EXPECT_EQ(warmUpStart(kAllIndicators, 2, 0, 1000), 0);
    EXPECT_EQ(warmUpStart(maskOf({"blur", "noise"}), 20, 0, 25), 20);
    // A frame rate that never freezes, or at once: the previous frame is enough.
    EXPECT_EQ(warmUpStart(maskOf({"freezing"}), 20, 0, 0), 19);
    EXPECT_EQ(warmUpStart(maskOf({"freezing"}), 20, 0, -5), 19);
}

}  // namespace
