// The detectors behind events: black is dark rather than flat, a flat colour is its own
// finding, bars are found on either side and under noise, a freeze survives grain
// but not a drift or a single repeat, and flicker is one stretch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "detectors/bars_detector.h"
#include "detectors/black_detector.h"
#include "detectors/constant_colour_detector.h"
#include "detectors/frame_detectors.h"
#include "detectors/luma_histogram.h"

namespace {

struct LumaPicture {
    uint32_t w, h;
    std::vector<uint8_t> samples;
    LumaPicture(uint32_t width, uint32_t height, uint8_t level)
        : w(width), h(height), samples(size_t{width} * height, level) {}
    uint8_t& at(uint32_t x, uint32_t y) { return samples[size_t{y} * w + x]; }
    Image image() { return makeImage(w, h, samples.data()); }
    void fill(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, uint8_t level) {
        for (uint32_t y = y0; y < y1; ++y)
            for (uint32_t x = x0; x < x1; ++x) at(x, y) = level;
    }
    // A picture with detail everywhere: a diagonal ramp.
    void ramp() {
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) at(x, y) = static_cast<uint8_t>(40 + (x * 3 + y * 2) % 180);
    }
    void noise(std::mt19937& rng, int amplitude) {
        std::uniform_int_distribution<int> d(-amplitude, amplitude);
        for (uint8_t& s : samples) s = static_cast<uint8_t>(std::clamp(s + d(rng), 0, 255));
    }
};

LumaHistogram levelsOf(LumaPicture& p) {
    LumaHistogram h;
    countLevels(p.image(), h);
    return h;
}

Detections detect(LumaPicture& p, uint32_t judged = ~0u) {
    FrameDetectors detectors(judged, p.w, p.h);
    SharedPasses shared;
    shared.start(p.image());
    PictureWork work;
    detectors.picture(p.image(), shared, work);
    detectors.ordered(0, work);
    return work.found;
}

TEST(DetectorsTest, BlackIsDarkNotFlat) {
    const LumaRange limited;
    for (uint8_t flat : {235, 128, 60}) {
        LumaPicture p(64, 48, flat);
        EXPECT_FALSE(isBlack(levelsOf(p), limited)) << int(flat);
        EXPECT_EQ(constantLevel(levelsOf(p), limited), flat);
    }
    // Black with a logo of 2 % of the picture is black; of 2 % and one sample more, not.
    LumaPicture logo(100, 50, 16);
    logo.fill(0, 0, 10, 10, 200);
    EXPECT_TRUE(isBlack(levelsOf(logo), limited));
    logo.at(50, 40) = 200;
    EXPECT_FALSE(isBlack(levelsOf(logo), limited));
    // The dark ceiling follows the range: 33 is dark in limited range, not in full range.
    LumaPicture lifted(64, 48, 33);
    EXPECT_TRUE(isBlack(levelsOf(lifted), limited));
    EXPECT_FALSE(isBlack(levelsOf(lifted), LumaRange{8, true}));
    EXPECT_EQ((LumaRange{10, false}).darkCeiling(), 64 + (940 - 64) * 8 / 100);
    // A black picture is black, not also a flat colour, letterboxed or pillarboxed.
    LumaPicture black(64, 48, 16);
    const Detections d = detect(black);
    EXPECT_TRUE(d.has(Detection::Black));
    EXPECT_FALSE(d.has(Detection::ConstantColour) || d.has(Detection::Letterbox) || d.has(Detection::Pillarbox));
}

TEST(DetectorsTest, AFlatColourIsOneLevelWithinTheNoiseOverMostOfThePicture) {
    std::mt19937 rng(7);
    LumaPicture slate(80, 60, 128);
    slate.noise(rng, 3);
    const Detections d = detect(slate);
    EXPECT_TRUE(d.has(Detection::ConstantColour));
    EXPECT_NEAR(d.level, 128, 1);
    // 90 % flat is a slate; less is a picture.
    LumaPicture caption(100, 10, 180);
    caption.fill(0, 0, 10, 10, 30);
    EXPECT_TRUE(constantLevel(levelsOf(caption), LumaRange{}).has_value());
    caption.at(50, 5) = 30;
    EXPECT_FALSE(constantLevel(levelsOf(caption), LumaRange{}).has_value());
}

TEST(DetectorsTest, AFlatColourAtEitherEndOfTheLevels) {
    const LumaRange full{8, true};
    for (uint8_t level : {0, 255}) {
        LumaPicture flat(32, 16, level);
        EXPECT_EQ(constantLevel(levelsOf(flat), full), level) << int(level);
    }
}

// The freeze rule's bounds, on the 16 block sums of a 64x64 picture: one block may move
// 3 levels (a sum of 768 over its 256 samples) and the picture stays still; the frames
// must follow one another.
TEST(DetectorsTest, AFreezeIsBoundedByTheLargestMoveAndNeedsFramesInARow) {
    const auto run = [](const std::vector<std::pair<int64_t, int32_t>>& frames) {
        FreezeDetector freeze(64, 64, FreezeRule{});
        std::optional<int64_t> last;
        for (const auto& [frame, move] : frames) {
            std::vector<int32_t> means(freeze.blocks(), 1000 * 256);
            means[5] += move;
            last = freeze.feed(frame, means, false);
        }
        return last;
    };
    EXPECT_EQ(run({{0, 0}, {1, 768}, {2, 768}}), std::optional<int64_t>(0));
    EXPECT_EQ(run({{0, 0}, {1, 769}, {2, 769}}), std::nullopt);
    EXPECT_EQ(run({{0, 0}, {1, 0}, {3, 0}}), std::nullopt);  // frame 2 is missing
    EXPECT_EQ(run({{0, 0}, {1, 0}, {2, 0}, {3, 0}}), std::optional<int64_t>(0));
}

TEST(DetectorsTest, BarsOnEitherSideUnderNoise) {
    std::mt19937 rng(3);
    LumaPicture p(200, 100, 0);
    p.ramp();
    // A right-hand bar alone, 20 pixels, with ±3 levels of noise on it.
    p.fill(180, 0, 200, 100, 16);
    for (uint32_t y = 0; y < 100; ++y)
        for (uint32_t x = 180; x < 200; ++x) p.at(x, y) = static_cast<uint8_t>(16 + static_cast<int>(rng() % 7) - 3);
    Detections d = detect(p);
    EXPECT_TRUE(d.has(Detection::Pillarbox));
    EXPECT_FALSE(d.has(Detection::Letterbox));
    EXPECT_EQ(d.bars, (BarWidths{0, 0, 0, 20}));
    // A picture whose first two columns match is not pillarboxed, nor is a dark line of one pixel.
    LumaPicture q(200, 100, 0);
    q.ramp();
    for (uint32_t y = 0; y < 100; ++y) q.at(1, y) = q.at(0, y);
    q.fill(0, 99, 200, 100, 16);
    d = detect(q);
    EXPECT_FALSE(d.has(Detection::Pillarbox) || d.has(Detection::Letterbox));
    // Top and bottom, 2 % of the height is a letterbox.
    LumaPicture r(200, 100, 0);
    r.ramp();
    r.fill(0, 0, 200, 2, 16);
    r.fill(0, 90, 200, 100, 20);
    d = detect(r);
    EXPECT_TRUE(d.has(Detection::Letterbox));
    EXPECT_EQ(d.bars, (BarWidths{2, 10, 0, 0}));  // 20 is black with noise on it
    // No bar is wider than half the picture: a black picture is bars to its middle on each side.
    LumaPicture black(64, 48, 16);
    EXPECT_EQ(measureBars(planeOf(black.image()), LumaRange{}), (BarWidths{24, 24, 32, 32}));
    EXPECT_EQ(smallestBar(1080), 11u);
}

// Frames fed to one freeze detector in order; the first frames of the freezes each ends in.
std::vector<int64_t> freezeStarts(std::vector<LumaPicture>& frames) {
    FrameDetectors detectors(Detections::bit(Detection::Freeze), frames[0].w, frames[0].h);
    std::vector<int64_t> starts;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SharedPasses shared;
        shared.start(frames[i].image());
        PictureWork work;
        detectors.picture(frames[i].image(), shared, work);
        detectors.ordered(static_cast<int64_t>(i), work);
        starts.push_back(work.found.has(Detection::Freeze) ? work.found.freezeStart : -1);
    }
    return starts;
}

TEST(DetectorsTest, AFreezeSurvivesGrainButNotADriftOrASingleRepeat) {
    std::mt19937 rng(11);
    LumaPicture base(96, 64, 0);
    base.ramp();
    // Frames 0-1 move, 2-7 are one picture under fresh grain of ±6 levels, 8 moves on.
    std::vector<LumaPicture> frames;
    for (int i = 0; i < 9; ++i) {
        LumaPicture f = base;
        if (i < 2 || i == 8) f.fill(static_cast<uint32_t>(i * 8), 0, static_cast<uint32_t>(i * 8 + 16), 64, 230);
        f.noise(rng, 6);
        frames.push_back(f);
    }
    EXPECT_EQ(freezeStarts(frames), (std::vector<int64_t>{-1, -1, -1, -1, 2, 2, 2, 2, -1}));
    // Drawn on twos: each picture shown twice is no freeze.
    std::vector<LumaPicture> twos;
    for (int i = 0; i < 8; ++i) {
        LumaPicture f = base;
        f.fill(static_cast<uint32_t>(i / 2 * 16), 0, static_cast<uint32_t>(i / 2 * 16 + 16), 64, 230);
        twos.push_back(f);
    }
    EXPECT_EQ(freezeStarts(twos), std::vector<int64_t>(8, -1));
    // A picture that drifts 0.36 levels a frame moves away from its first frame.
    std::vector<LumaPicture> drift;
    for (int i = 0; i < 20; ++i) {
        LumaPicture f(96, 64, 0);
        for (uint32_t y = 0; y < 64; ++y)
            for (uint32_t x = 0; x < 96; ++x)
                f.at(x, y) = static_cast<uint8_t>(60 + x + static_cast<int>(0.36 * i + ((x + y) % 4) * 0.25));
        drift.push_back(f);
    }
    EXPECT_EQ(freezeStarts(drift), std::vector<int64_t>(20, -1));
}

}  // namespace

// Frames fed to one flicker detector in order (25 fps); per frame, the first frame of the
// flicker it is part of, or -1.
std::vector<int64_t> flickerStarts(std::vector<LumaPicture>& frames) {
    FrameDetectors detectors(Detections::bit(Detection::Flicker), frames[0].w, frames[0].h, LumaRange{}, 25);
    std::vector<int64_t> starts;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SharedPasses shared;
        shared.start(frames[i].image());
        PictureWork work;
        const Image previous = i > 0 ? frames[i - 1].image() : Image{};
        shared.startPair(i > 0 ? &previous : nullptr);
        detectors.picture(frames[i].image(), shared, work);
        detectors.ordered(static_cast<int64_t>(i), work);
        EXPECT_TRUE(work.found.judges(Detection::Flicker));
        starts.push_back(work.found.has(Detection::Flicker) ? work.found.flickerStart : -1);
    }
    return starts;
}

TEST(DetectorsTest, FlickerIsOneStretchEndingWithinAPeriodAndNeverACutOrAPan) {
    // A 16x16 region that rises 24 levels for 6 frames of every 12 (about 2 Hz) on frames
    // 20-69 of a still picture, and stays still after.
    LumaPicture base(96, 64, 0);
    base.ramp();
    std::vector<LumaPicture> frames;
    for (int i = 0; i < 100; ++i) {
        LumaPicture f = base;
        if (i >= 20 && i <= 69 && (i - 20) % 12 < 6)
            for (uint32_t y = 24; y < 40; ++y)
                for (uint32_t x = 40; x < 56; ++x) f.at(x, y) = static_cast<uint8_t>(f.at(x, y) + 24);
        frames.push_back(f);
    }
    const std::vector<int64_t> starts = flickerStarts(frames);
    int64_t first = -1, last = -1;
    for (int64_t i = 0; i < 100; ++i)
        if (starts[static_cast<std::size_t>(i)] >= 0) {
            if (first < 0) first = i;
            last = i;
        }
    ASSERT_GE(first, 0);
    // One stretch, starting within a period of the flicker's first frame.
    EXPECT_GE(starts[static_cast<std::size_t>(first)], 20 - 12);
    EXPECT_LE(starts[static_cast<std::size_t>(first)], 20 + 12);
    for (int64_t i = first; i <= last; ++i) EXPECT_GE(starts[static_cast<std::size_t>(i)], 0) << i;
    EXPECT_GE(last, 69 - 6);
    EXPECT_LE(last, 69 + 12);

    // A faster flicker of 6 frames a cycle ends within 6 frames of its end; a block that
    // goes on flickering after the larger region stopped is still flicker.
    std::vector<LumaPicture> two = frames;
    for (int i = 0; i < 100; ++i) {
        LumaPicture& f = two[static_cast<std::size_t>(i)];
        f = base;
        for (uint32_t y = 8; y < 40; ++y)
            for (uint32_t x = 8; x < 56; ++x)
                if ((i <= 69 || (x < 16 && y < 16)) && (i <= 49 || x < 48 || y < 32) && i % 6 < 3)
                    f.at(x, y) = static_cast<uint8_t>(f.at(x, y) + 24);
    }
    const std::vector<int64_t> twoStarts = flickerStarts(two);
    EXPECT_GE(twoStarts[99], 0);
    int64_t lastBig = -1;
    for (int64_t i = 0; i < 100; ++i)
        if (twoStarts[static_cast<std::size_t>(i)] >= 0 && twoStarts[static_cast<std::size_t>(i)] < 50) lastBig = i;
    EXPECT_GE(lastBig, 69 - 3);
    EXPECT_LE(lastBig, 69 + 6);
    // A block of the region that stops early does not end the stretch.
    const auto firstBig = std::find_if(twoStarts.begin(), twoStarts.end(), [](int64_t s) { return s >= 0; });
    EXPECT_TRUE(std::all_of(firstBig, twoStarts.begin() + lastBig, [](int64_t s) { return s >= 0; }));

    // Cuts every 10 frames between shots of other detail and level, moving 2 pixels a frame.
    std::vector<LumaPicture> cuts;
    for (int i = 0; i < 80; ++i) {
        LumaPicture f(96, 64, 0);
        const int shot = i / 10;
        for (uint32_t y = 0; y < 64; ++y)
            for (uint32_t x = 0; x < 96; ++x)
                f.at(x, y) = static_cast<uint8_t>(30 + (shot * 37 + (x + 2 * i) * (3 + shot % 3) + y * 5) % 190);
        cuts.push_back(f);
    }
    for (int64_t s : flickerStarts(cuts)) EXPECT_EQ(s, -1);
}
