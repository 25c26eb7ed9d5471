#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "indicators/flickering.h"
#include "test_support.h"

namespace {

std::string printed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%-5.5f", value);
    return text;
}

// Block images as the driver would allocate them for a w x h frame.
struct FlickerRun {
    OwnedImage counts;
    OwnedImage states;
    FlickeringState state;
    FlickerRun(uint64_t w, uint64_t h) : counts(w / 8, h / 8), states(w / 8, h / 8) {
        state.counts = counts.image;
        state.states = states.image;
    }
    double call(const Image& current, const Image& previous) { return flickering(current, previous, state); }
};

}  // namespace

TEST(Flickering, IdenticalFramesGiveZeroOnEighthCall) {
    const OwnedImage frame(352, 288, 70);
    FlickerRun run(352, 288);
    for (int i = 1; i < 8; ++i) EXPECT_EQ(run.call(frame, frame), -1.0) << "call " << i;
    EXPECT_EQ(run.call(frame, frame), 0.0);
    EXPECT_EQ(run.state.frameCount, 0);
    EXPECT_EQ(run.call(frame, frame), -1.0);
}

TEST(Flickering, AlternatingBlockAmongTopThreePercent) {
    // Block (1, 1) differs on every other call and is unchanged between.
    const OwnedImage a(352, 288, 50);
    OwnedImage b(352, 288, 50);
    for (uint64_t y = 8; y < 16; ++y)
        for (uint64_t x = 8; x < 16; ++x) b.at(x, y) = 60;
    FlickerRun run(352, 288);
    const Image* frames[] = {&a.image, &b.image, &b.image, &a.image, &a.image, &b.image, &b.image, &a.image, &a.image};
    double value = 0.0;
    for (int call = 1; call <= 8; ++call) value = run.call(*frames[call], *frames[call - 1]);
    // 8 switches over k = 47 blocks of 8 frames.
    EXPECT_DOUBLE_EQ(value, 8.0 / 376.0);
    EXPECT_EQ(printed(value), "0.02128");
    // The period's counts and states are cleared.
    for (uint8_t c : run.counts.samples) ASSERT_EQ(c, 0);
    for (uint8_t s : run.states.samples) ASSERT_EQ(s, 0);
}

TEST(Flickering, TooFewBlocksGiveNotANumber) {
    const OwnedImage frame(40, 40, 0);
    FlickerRun run(40, 40);
    double value = 0.0;
    for (int call = 1; call <= 8; ++call) value = run.call(frame, frame);
    EXPECT_TRUE(std::isnan(value));
}

TEST(Flickering, PartialBlocksAreIgnored) {
    // 44 x 20: five block columns and two block rows, a margin beyond them.
    OwnedImage current(44, 20, 10);
    const OwnedImage previous(44, 20, 10);
    for (uint64_t y = 0; y < 20; ++y)
        for (uint64_t x = 40; x < 44; ++x) current.at(x, y) = 200;
    for (uint64_t x = 0; x < 40; ++x) current.at(x, 17) = 200;
    OwnedImage counts(5, 2);
    OwnedImage states(5, 2);
    std::vector<double> mean(10, 0.0);
    Image c = counts.image, s = states.image;
    ImageDouble m = makeImageDouble(5, 2, mean.data());
    calculateFlickering(current, previous, c, s, m, 8, 0.0111);
    for (double v : mean) EXPECT_EQ(v, 0.0);
    for (uint8_t v : counts.samples) EXPECT_EQ(v, 0);

    // One changed sample in the last whole block column: 1/64 turns it changing.
    current.at(39, 15) = 11;
    std::fill(mean.begin(), mean.end(), 0.0);
    calculateFlickering(current, previous, c, s, m, 8, 0.0111);
    EXPECT_EQ(mean[9], 1.0 / 64.0);
    EXPECT_EQ(counts.samples, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(states.samples, (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(Flickering, StateMachineThresholds) {
    // One 10 x 10 block: a single unit of difference gives a mean of 0.01.
    OwnedImage current(10, 10, 5);
    const OwnedImage previous(10, 10, 5);
    current.at(3, 4) = 6;
    OwnedImage counts(1, 1);
    OwnedImage states(1, 1);
    Image c = counts.image, s = states.image;
    double mean = 0.0;
    ImageDouble m = makeImageDouble(1, 1, &mean);
    auto step = [&](const Image& cur) {
        mean = 0.0;
        calculateFlickering(cur, previous, c, s, m, 10, 0.0111);
    };

    step(current);  // below threshold: stays static
    EXPECT_EQ(mean, 0.01);
    EXPECT_EQ(states.samples[0], 0);
    EXPECT_EQ(counts.samples[0], 0);

    current.at(0, 0) = 7;  // 0.03: turns changing
    step(current);
    EXPECT_EQ(states.samples[0], 1);
    EXPECT_EQ(counts.samples[0], 1);

    current.at(0, 0) = 5;  // 0.01 again: not unchanged, so still changing
    step(current);
    EXPECT_EQ(states.samples[0], 1);
    EXPECT_EQ(counts.samples[0], 1);

    step(previous);  // bit-identical: static again
    EXPECT_EQ(states.samples[0], 0);
    EXPECT_EQ(counts.samples[0], 2);
}

TEST(Flickering, CompareElementsOrdersDescending) {
    const uint8_t low = 2, high = 200;
    EXPECT_EQ(compareElements(&low, &high), 198);
    EXPECT_EQ(compareElements(&high, &low), -198);
    EXPECT_EQ(compareElements(&low, &low), 0);
}
