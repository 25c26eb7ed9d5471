// Which blocks flicker: oscillation in place, not motion, noise, cuts or black flashes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "indicators/flicker_blocks.h"
#include "indicators/registry.h"
#include "test_support.h"

namespace {

constexpr uint32_t kW = 5, kH = 3;  // a grid of 5 x 3 blocks
constexpr std::size_t kWindow = 40;  // the window at 30 fps

// Feeds `frames` frames whose block means are level(frame, bx, by), each block's samples all
// moving together unless `spread` says by how much more they moved apart; then asks whether
// block (2, 1) flickers.
bool centreFlickers(int frames, const std::function<int(int, uint32_t, uint32_t)>& level, int spread = 0) {
    FlickerBlocks blocks(kW, kH, kWindow);
    std::vector<int32_t> sums(kW * kH), before(kW * kH), diffs(kW * kH);
    for (int f = 0; f < frames; ++f) {
        for (uint32_t by = 0; by < kH; ++by)
            for (uint32_t bx = 0; bx < kW; ++bx) {
                const std::size_t i = by * kW + bx;
                sums[i] = 64 * level(f, bx, by);
                diffs[i] = std::abs(sums[i] - before[i]) + 64 * spread;
                before[i] = sums[i];
            }
        blocks.add(sums.data(), diffs.data());
    }
    std::vector<uint8_t> flickering(kW * kH);
    blocks.mark(flickering.data());
    return flickering[1 * kW + 2] != 0;
}

bool centre(uint32_t bx, uint32_t by) { return bx == 2 && by == 1; }

TEST(FlickerBlocks, OneBlockFlickeringAtTwoToFifteenHertz) {
    // Half-periods of 1 (15 Hz at 30 fps) to 7 frames (about 2 Hz), swings from the smallest.
    for (int half : {1, 2, 3, 7}) {
        for (int swing : {kFlickerSwing, 40}) {
            const auto flashing = [&](int f, uint32_t bx, uint32_t by) {
                return 100 + (centre(bx, by) && (f / half) % 2 ? swing : 0);
            };
            EXPECT_TRUE(centreFlickers(40, flashing)) << half << " " << swing;
        }
    }
    // Under the swing the block only wobbles; its samples moving apart make it noise.
    EXPECT_FALSE(centreFlickers(40, [](int f, uint32_t bx, uint32_t by) {
        return 100 + (centre(bx, by) && f % 2 ? kFlickerSwing - 1 : 0);
    }));
    EXPECT_FALSE(centreFlickers(
        40, [](int f, uint32_t bx, uint32_t by) { return 100 + (centre(bx, by) && f % 2 ? 20 : 0); }, 30));
}

TEST(FlickerBlocks, ThreeTurnsAreNotEnough) {
    // 4 flips of the level: the first sets the direction, 3 turns follow.
    const auto flips = [](int flipsBeforeEnd) {
        return [=](int f, uint32_t bx, uint32_t by) {
            const int flips = std::min(std::max(0, f - 20) / 3, flipsBeforeEnd);
            return 100 + (centre(bx, by) && flips % 2 ? 30 : 0);
        };
    };
    EXPECT_FALSE(centreFlickers(38, flips(4)));
    EXPECT_TRUE(centreFlickers(38, flips(5)));
}

TEST(FlickerBlocks, CutsFlashesAndCrossingObjectsAreNoFlicker) {
    // Two black flashes 0.6 s apart, the second followed by a bright object's edge passing:
    // the small move back after it is no turn.
    EXPECT_FALSE(centreFlickers(38, [](int f, uint32_t, uint32_t) {
        if ((f >= 2 && f <= 3) || (f >= 20 && f <= 22)) return 0;
        return f == 23 ? 168 : 161;
    }));
    // A cut, then a wobble of swings much smaller than the cut.
    EXPECT_FALSE(centreFlickers(38, [](int f, uint32_t, uint32_t) { return f < 10 ? 30 : 180 + (f % 4 < 2 ? 3 : 0); }));
    // A bright bar passing from left to right every 6 frames, a block a frame: each block
    // rises and falls in a steady rhythm, but a frame after its left neighbour.
    EXPECT_FALSE(centreFlickers(38, [](int f, uint32_t bx, uint32_t) { return (f - int(bx)) % 6 == 0 ? 200 : 60; }));
    // The same bar over all blocks at once is a flashing area.
    EXPECT_TRUE(centreFlickers(38, [](int f, uint32_t, uint32_t) { return f % 6 == 0 ? 200 : 60; }));
}

// The centre block held high and low in turn for the frames `halves` give, from frame 0.
std::function<int(int, uint32_t, uint32_t)> heldFor(std::vector<int> halves) {
    return [=](int f, uint32_t bx, uint32_t by) {
        int level = 0;
        for (std::size_t i = 0, start = 0; i < halves.size() && f >= int(start); start += halves[i++])
            level = int(i) % 2;
        return 100 + (centre(bx, by) && level ? 30 : 0);
    };
}

TEST(FlickerBlocks, ARhythmIsSteadyWithinAQuarterOfItsShortestCycleAndTwoFrames) {
    // Cycles (a turn to the next but one) of 4 frames, then of 7: 3 frames longer, as 2 + 4 / 4 allows.
    EXPECT_TRUE(centreFlickers(38, heldFor({2, 2, 2, 2, 2, 3, 4, 3, 4, 3, 4, 3, 4})));
    // Cycles of 4, then of 8: a quickening, not one flicker.
    EXPECT_FALSE(centreFlickers(38, heldFor({2, 2, 2, 2, 2, 4, 4, 4, 4, 4, 4})));
}

TEST(FlickerBlocks, AStepAgainstTwoNeighboursAtOnceIsOneOpposedStep) {
    // The centre and its left and right neighbours flash together, 2 frames up and 2 down: 18
    // steps in 38 frames; on `against` the neighbours named step the other way, and back.
    const auto flashing = [](std::vector<std::pair<int, uint32_t>> against) {
        return [=](int f, uint32_t bx, uint32_t by) {
            if (by != 1 || bx < 1 || bx > 3) return 80;
            for (const auto& [frame, x] : against)
                if (f == frame && bx == x) return 20;
            return (f / 2) % 2 ? 100 : 60;
        };
    };
    // One step of the 18 against a neighbour is tolerated (at most a tenth), even against two.
    EXPECT_TRUE(centreFlickers(38, flashing({{18, 1}, {18, 3}})));
    EXPECT_FALSE(centreFlickers(38, flashing({{18, 1}, {26, 3}})));
}

TEST(FlickeringEvidence, ASlowFlickerAtAHighFrameRateMarksEveryPeriod) {
    // One 8x8 block of a still 64x64 picture flips every 15 frames: 2 Hz at 60 fps, so some
    // periods of 8 frames hold no flip. Once the window has seen its turns, every period's
    // evidence is a flickering block's switch at least.
    const IndicatorDescriptor& d = indicatorRegistry()[static_cast<std::size_t>(*findIndicator("flickering"))];
    auto indicator = d.makeTemporal(TemporalGeometry{64, 64, 1, 60.0, 0, 0});
    OwnedImage low(64, 64, 100), high(64, 64, 100);
    for (int y = 16; y < 24; ++y)
        for (int x = 16; x < 24; ++x) high.at(x, y) = 140;
    std::vector<double> evidence;
    for (int f = 1; f < 240; ++f) {
        indicator->pair(0, (f / 15) % 2 ? high : low, ((f - 1) / 15) % 2 ? high : low);
        if (indicator->ordered(0, f, Results{}) && indicator->evidence()) evidence.push_back(*indicator->evidence());
    }
    ASSERT_EQ(evidence.size(), 29u);
    std::string seen;  // 0: no block flickers; +: one does, with a switch at least
    for (double e : evidence) seen += e == 0 ? '0' : e >= 0.125 ? '+' : '?';
    // The fifth flip, on frame 75, makes the fourth turn: from the period ending on 80 on.
    EXPECT_EQ(seen, "000000000" + std::string(20, '+'));
}

}  // namespace
