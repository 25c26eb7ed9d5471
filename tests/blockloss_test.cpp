#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>
#include <vector>

#include "indicators/blockLoss.h"
#include "sample/sample_video.h"
#include "test_support.h"
#include "tools/image.h"
#include "tools/roberts.h"
#include "tools/sums.h"

namespace {

// The measure written out plainly with the toolkit operators and full working planes.
double referenceBlockLoss(const Image& frame) {
    const uint32_t w = static_cast<uint32_t>(frame.w);
    const uint32_t h = static_cast<uint32_t>(frame.h);
    if (w < 256 || h < 256) return -1.0;
    Image32 hx = callocImage32(w, h / 16), hy = callocImage32(w, h / 16), he = callocImage32(w, h / 16);
    Image32 vx = callocImage32(w / 16, h), vy = callocImage32(w / 16, h), ve = callocImage32(w / 16, h);
    Image32 fx = callocImage32(w, h), fy = callocImage32(w, h), fe = callocImage32(w, h);
    Image32 hc = callocImage32(w / 256, h / 256), vc = callocImage32(w / 256, h / 256);
    Image32 runs = callocImage32(w, 1), products = callocImage32(w / 256, h / 256);

    robertsSkip(frame, hx, hy, 1, 16);
    robertsSkip(frame, vx, vy, 16, 1);
    roberts(frame, fx, fy);
    addSquares32(hx, hy, he);
    addSquares32(vx, vy, ve);
    addSquares32(fx, fy, fe);
    const double threshold = 6.0 * (static_cast<double>(sumPixels32(fe)) / static_cast<double>(w * h));
    countSeqsH(he, hc, 256, 16, 12, threshold);
    countSeqsV(ve, vc, runs, 16, 256, 12, threshold);
    multiply(hc, vc, products);
    const double value = static_cast<double>(sumPixels32(products)) / static_cast<double>((w / 256) * (h / 256));

    for (Image32* p : {&hx, &hy, &he, &vx, &vy, &ve, &fx, &fy, &fe, &hc, &vc, &runs, &products}) freeImage32(p);
    return value;
}

void fillRect(OwnedImage& img, uint64_t x0, uint64_t y0, uint64_t w, uint64_t h, uint8_t level) {
    for (uint64_t y = y0; y < y0 + h; ++y)
        for (uint64_t x = x0; x < x0 + w; ++x) img.at(x, y) = level;
}

TEST(BlockLossTest, TooSmallFramesGiveMinusOne) {
    OwnedImage narrow(255, 1080, 128), low(1920, 255, 128);
    EXPECT_EQ(blockLoss(narrow), -1.0);
    EXPECT_EQ(blockLoss(low), -1.0);
}

TEST(BlockLossTest, UniformFrameScoresZero) {
    OwnedImage flat(256, 256, 128);
    EXPECT_EQ(blockLoss(flat), 0.0);
}

TEST(BlockLossTest, LostBlocksOnTheGrid) {
    OwnedImage one(256, 256, 128);
    fillRect(one, 32, 32, 16, 16, 0);
    EXPECT_EQ(blockLoss(one), 4.0);

    OwnedImage offGrid(256, 256, 128);
    fillRect(offGrid, 36, 36, 16, 16, 0);
    EXPECT_EQ(blockLoss(offGrid), 0.0);

    OwnedImage two(256, 256, 128);
    fillRect(two, 32, 32, 16, 16, 0);
    fillRect(two, 160, 96, 16, 16, 0);
    EXPECT_EQ(blockLoss(two), 16.0);

    OwnedImage narrowBlock(256, 256, 128);
    fillRect(narrowBlock, 32, 32, 11, 16, 0);
    EXPECT_EQ(blockLoss(narrowBlock), 2.0);

    OwnedImage stripe(256, 256, 128);
    fillRect(stripe, 32, 0, 16, 256, 0);
    EXPECT_EQ(blockLoss(stripe), 0.0);
}

TEST(BlockLossTest, FaintBlocksCountOnlyAboveSixTimesTheMeanEnergy) {
    // A flat block of step d on the grid has edge energies of 2*d*d and adds 124*d*d
    // to the frame energy. Beside the black block (d = 128) of a 256x256 frame the
    // threshold is 744 * (16384 + d*d) / 65536: about 186.9 for d = 9, whose edges
    // (162) stay below it, and about 187.1 for d = 10, whose edges (200) count.
    for (auto [level, expected] : {std::pair<uint8_t, double>{119, 4.0}, {118, 16.0}}) {
        OwnedImage frame(256, 256, 128);
        fillRect(frame, 32, 32, 16, 16, 0);
        fillRect(frame, 160, 160, 16, 16, level);
        EXPECT_EQ(blockLoss(frame), expected) << int{level};
    }
}

TEST(BlockLossTest, EnergiesEqualToTheThresholdDoNotCount) {
    // A block of step 64 (energy 124 * 64^2), a step of 6 across the whole frame on a
    // grid line (edge energy 2 * 6^2 = 72 per sample) and isolated dots of steps
    // 128, 128, 128, 126, 3, 2, 1 (4 * g^2 each) total 786432: the threshold is
    // 6 * 786432 / 65536 = 72.0, exactly the step's edge energy, which must not count.
    const int dots[] = {128, 128, 128, 126, 3, 2, 1};
    for (bool horizontal : {true, false}) {
        OwnedImage frame(256, 256, 128);
        fillRect(frame, 32, 32, 16, 16, 64);
        if (horizontal)
            fillRect(frame, 0, 128, 256, 128, 122);
        else
            fillRect(frame, 128, 0, 128, 256, 122);
        for (int i = 0; i < 7; ++i) frame.at(70 + 7 * i, 75) = static_cast<uint8_t>(128 - dots[i]);
        EXPECT_EQ(blockLoss(frame), 4.0) << horizontal;
        EXPECT_EQ(referenceBlockLoss(frame), 4.0) << horizontal;
    }
}

TEST(BlockLossTest, BlocksOutsideEveryRegionOnlyRaiseTheThreshold) {
    OwnedImage frame(1920, 1080, 128);
    fillRect(frame, 512, 1040, 16, 16, 0);
    EXPECT_EQ(blockLoss(frame), 0.0);
    fillRect(frame, 1792, 512, 16, 16, 0);  // right of the last region column
    EXPECT_EQ(blockLoss(frame), 0.0);
    fillRect(frame, 256, 256, 16, 16, 0);  // one block in region (1, 1) of 28
    EXPECT_EQ(blockLoss(frame), 4.0 / 28.0);
}

TEST(BlockLossTest, RunsOfTwelveCountAndNeverCrossARegionBorder) {
    // A dark segment of n samples on a grid line of a flat frame makes a run of
    // n + 1 strong energies along it. The frame is 2x2 regions and a margin.
    OwnedImage frame(600, 530, 128);
    auto across = [&](uint64_t x, uint64_t y, uint64_t n) { fillRect(frame, x, y, n, 1, 0); };
    auto down = [&](uint64_t x, uint64_t y, uint64_t n) { fillRect(frame, x, y, 1, n, 0); };
    // Region (0, 0): runs of 11, 12 and 13 across (two count), one long run down.
    across(80, 64, 10);
    across(120, 64, 11);
    across(160, 64, 12);
    down(32, 40, 30);
    // Region (1, 0): a run of 13 across the border with (0, 0), split 6 + 7, and one of 12.
    across(250, 96, 12);
    across(300, 96, 11);
    down(272, 40, 30);
    // Region (0, 1): runs of 14 down across the border with (0, 0), of 12 and of 11.
    down(48, 250, 13);
    down(64, 300, 11);
    down(80, 320, 10);
    across(100, 400, 20);
    // Runs in the margin outside every region.
    across(520, 128, 40);
    down(16, 515, 14);
    EXPECT_EQ(blockLoss(frame), (2.0 * 1 + 1 * 1 + 1 * 1) / 4);
    EXPECT_EQ(referenceBlockLoss(frame), blockLoss(frame));
}

// Frames that exercise every branch: a noisy background with flat blocks of random
// levels and sizes, some on the grid, some off it, some crossing region borders.
void paintBlocks(OwnedImage& img, std::mt19937& rng, int count, int noise) {
    const uint64_t w = img.image.w, h = img.image.h;
    std::uniform_int_distribution<int> level(0, 255), offset(-noise, noise);
    for (uint8_t& v : img.samples) v = static_cast<uint8_t>(std::clamp(128 + offset(rng), 0, 255));
    for (int i = 0; i < count; ++i) {
        const bool onGrid = rng() % 3 != 0;
        const uint64_t bw = onGrid ? 16 * (1 + rng() % 2) : 8 + rng() % 20;
        const uint64_t bh = onGrid ? 16 * (1 + rng() % 2) : 8 + rng() % 20;
        uint64_t x = rng() % (w - bw), y = rng() % (h - bh);
        if (onGrid) x -= x % 16, y -= y % 16;
        fillRect(img, x, y, bw, bh, static_cast<uint8_t>(level(rng)));
    }
}

TEST(BlockLossTest, EqualsThePlainPipelineOnRandomAndStructuredFrames) {
    std::mt19937 rng(2024);
    const std::pair<uint64_t, uint64_t> sizes[] = {{256, 256}, {300, 270}, {513, 777}, {1920, 1080}, {1280, 720}};
    int nonZero = 0;
    for (auto [w, h] : sizes) {
        for (int trial = 0; trial < 4; ++trial) {
            OwnedImage frame(w, h);
            if (trial == 0) {
                for (uint8_t& v : frame.samples) v = static_cast<uint8_t>(rng());
            } else {
                paintBlocks(frame, rng, static_cast<int>(w * h / 4000) * trial, trial == 3 ? 0 : 3);
            }
            const double expected = referenceBlockLoss(frame);
            EXPECT_EQ(blockLoss(frame), expected) << w << "x" << h << " trial " << trial;
            if (expected > 0.0) ++nonZero;
        }
    }
    EXPECT_GE(nonZero, 8);  // the comparison has to see real counts
}

TEST(BlockLossTest, SampleClipWithLostBlocks) {
    SampleSpec spec;
    spec.width = 640;
    spec.height = 512;
    spec.defects.push_back({"lostblocks"});
    std::vector<uint8_t> luma = sampleLuma(spec, 3);
    const Image frame = makeImage(640, 512, luma.data());
    const double value = blockLoss(frame);
    EXPECT_GT(value, 0.0);
    EXPECT_EQ(value, referenceBlockLoss(frame));
}

}  // namespace
