#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "indicators/blackout.h"
#include "indicators/blockiness.h"
#include "indicators/letterbox.h"
#include "indicators/pillarbox.h"
#include "sample/sample_video.h"
#include "test_support.h"

namespace {

void square(OwnedImage& img, uint64_t x0, uint64_t y0, uint64_t side, uint8_t level) {
    for (uint64_t y = y0; y < y0 + side; ++y)
        for (uint64_t x = x0; x < x0 + side; ++x) img.at(x, y) = level;
}

}  // namespace

TEST(Blackout, UniformFramesAtAnyLevelAreFlagged) {
    for (uint8_t level : {0, 128, 255}) EXPECT_EQ(blackout(OwnedImage(64, 48, level)), 1) << int{level};
    EXPECT_EQ(blackout(OwnedImage(8, 8, 3)), 1);
}

TEST(Blackout, SpreadOfFourLevelsIsAPicture) {
    OwnedImage img(64, 48, 0);
    square(img, 8, 8, 8, 4);
    EXPECT_EQ(blackout(img), 0);
    square(img, 8, 8, 8, 3);
    EXPECT_EQ(blackout(img), 1);

    // The same square across two blocks gives each a mean of 2.
    OwnedImage split(64, 48, 0);
    square(split, 4, 8, 8, 4);
    EXPECT_EQ(blackout(split), 1);
}

TEST(Blackout, SingleBrightSamples) {
    OwnedImage img(64, 48, 0);
    img.at(20, 30) = 255;
    EXPECT_EQ(blackout(img), 1);
    img.at(21, 31) = 255;
    EXPECT_EQ(blackout(img), 0);
}

TEST(Blackout, OnlyWholeBlocksCount) {
    OwnedImage wide(1925, 1080, 0);
    for (uint64_t y = 0; y < 1080; ++y)
        for (uint64_t x = 1920; x < 1925; ++x) wide.at(x, y) = 255;
    EXPECT_EQ(blackout(wide), 1);

    OwnedImage hd(1920, 1080, 0);
    for (uint64_t y = 0; y < 1080; ++y)
        for (uint64_t x = 1915; x < 1920; ++x) hd.at(x, y) = 255;
    EXPECT_EQ(blackout(hd), 0);
}

TEST(Blackout, FramesWithoutAWholeBlockAreNotFlagged) {
    EXPECT_EQ(blackout(OwnedImage(7, 100, 0)), 0);
    EXPECT_EQ(blackout(OwnedImage(100, 7, 0)), 0);
}

TEST(Minmax, FindsSignedExtremes) {
    const int32_t values[] = {5, -3, 7, -3, 2, -8, 6};
    int32_t lo = 0, hi = 0;
    minmax(values, 7, &lo, &hi);
    EXPECT_EQ(lo, -8);
    EXPECT_EQ(hi, 7);
    minmax(values, 1, &lo, &hi);
    EXPECT_EQ(lo, 5);
    EXPECT_EQ(hi, 5);
}

TEST(MinmaxDeathTest, RefusesAnEmptySet) {
    const int32_t value = 0;
    int32_t lo = 0, hi = 0;
    EXPECT_DEATH(minmax(&value, 0, &lo, &hi), "size > 0");
}

// End to end: the report columns of these four indicators carry what the
// indicators compute on the same frames.
TEST(GridAndBarColumns, ReportMatchesTheIndicators) {
    SampleSpec clip;
    clip.width = 96;
    clip.height = 64;
    clip.frames = 4;
    clip.defects = {{"black", 0, 0}, {"letterbox", 1, 1}, {"pillarbox", 2, 2}, {"blocky", 3, 3}};
    TempDir dir;
    ASSERT_TRUE(writeSampleVideo(clip, (dir.path / "clip.yuv").string()));
    const ProcessResult run = runProcess(FRAMEPROBE_BINARY, {"clip.yuv", "96", "64", "0x8D"}, dir.path);
    ASSERT_EQ(run.status, 0) << run.out;

    std::istringstream lines(run.out);
    std::string line;
    int frame = 0;
    while (std::getline(lines, line)) {
        if (line.size() < 5 || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
        std::vector<std::string> fields;
        std::istringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, '\t')) {
            cell.erase(cell.find_last_not_of(' ') + 1);
            if (!cell.empty()) fields.push_back(cell);
        }
        ASSERT_GE(fields.size(), 9u) << line;
        std::vector<uint8_t> luma = sampleLuma(clip, frame);
        const Image img = makeImage(96, 64, luma.data());
        auto fixed = [](double v) {
            char text[32];
            snprintf(text, sizeof text, "%.5f", v);
            return std::string(text);
        };
        EXPECT_EQ(fields[1], fixed(blockiness(img))) << frame;
        EXPECT_EQ(fields[3], fixed(letterbox(img))) << frame;
        EXPECT_EQ(fields[4], fixed(pillarbox(img))) << frame;
        EXPECT_EQ(fields[8], std::to_string(blackout(img))) << frame;
        if (frame == 0) { EXPECT_EQ(fields[8], "1"); }
        if (frame == 1) { EXPECT_EQ(fields[3], "0.25000"); }  // bars of 64 / 8 rows
        if (frame == 3) { EXPECT_EQ(fields[1], "0.00000"); }  // flat blocks
        ++frame;
    }
    EXPECT_EQ(frame, 4);
}
