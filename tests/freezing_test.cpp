#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "indicators/freezing.h"

namespace {

struct Frame {
    double activity;
    uint8_t blackout = 0;
};

std::vector<int> flags(double fps, const std::vector<Frame>& frames) {
    FreezingState state;
    std::vector<int> out;
    for (const Frame& f : frames) out.push_back(freezing(state, f.blackout, f.activity, fps));
    return out;
}

}  // namespace

TEST(Freezing, RunOfStillFramesAt25Fps) {
    EXPECT_EQ(flags(25, {{0.5}, {0.5}, {0.5}, {0.5}, {2.0}, {0.5}}), (std::vector<int>{0, 0, 1, 1, 0, 0}));
    // Exactly 1.0 is still; not-a-number ends the run.
    EXPECT_EQ(flags(25, {{1.0}, {1.0}, {1.0}, {NAN}, {1.0}}), (std::vector<int>{0, 0, 1, 0, 0}));
}

TEST(Freezing, ThresholdFollowsFrameRate) {
    const std::vector<Frame> still(6, Frame{0.0});
    EXPECT_EQ(flags(30, still), (std::vector<int>{0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(flags(24, still), (std::vector<int>{0, 0, 1, 1, 1, 1}));
    EXPECT_EQ(flags(50, still), (std::vector<int>{0, 0, 0, 0, 1, 1}));
    EXPECT_EQ(flags(10, still), (std::vector<int>{1, 1, 1, 1, 1, 1}));
    // At or below zero frames per second every frame is frozen, even one ending the run.
    EXPECT_EQ(flags(0, {{0.0}, {9.0}, {0.0, 1}}), (std::vector<int>{1, 1, 1}));
    EXPECT_EQ(flags(-5, {{9.0}}), (std::vector<int>{1}));
}

TEST(Freezing, BlackStillFrameRestartsRun) {
    EXPECT_EQ(flags(25, {{0.0}, {0.0}, {0.0}, {0.0, 1}, {0.0}, {0.0}, {0.0}}),
              (std::vector<int>{0, 0, 1, 0, 0, 0, 1}));
}
