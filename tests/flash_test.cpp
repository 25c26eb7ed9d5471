// The photosensitive flash rule: screen luminance, the rule's thresholds (step, darker
// image, area, rate, red) at their boundaries and at 25 and 29.97 fps, the table against
// the formula, and a run through the program from a file and from a pipe.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "indicators/flash_cells.h"
#include "indicators/flash_rule.h"
#include "test_support.h"
#include "tools/screen_luminance.h"

namespace {

// A screen of `cells` one-pixel cells of which the first `flashing` alternate between `dark`
// and `dark + step` cd/m² every `half` frames; the largest flash count over `frames` frames and
// the first frame where it passed three.
struct Outcome {
    double most = 0;
    int64_t firstFailing = -1;
};
Outcome square(double dark, double step, int flashing, int cells, int half, double fps, int frames,
               double area = 0.25) {
    FlashRule rule(std::vector<uint32_t>(static_cast<std::size_t>(cells), 1u), FlashSettings{{}, area});
    std::vector<CellState> screen(static_cast<std::size_t>(cells));
    Outcome o;
    for (int f = 0; f < frames; ++f) {
        for (int c = 0; c < flashing; ++c)
            screen[static_cast<std::size_t>(c)].luminance = dark + ((f / half) % 2) * step;
        const FlashStep s = rule.feed(f, f / fps, screen);
        o.most = std::max(o.most, s.flashes);
        if (o.firstFailing < 0 && s.flashes > kMostFlashes) o.firstFailing = f;
    }
    return o;
}

}  // namespace

TEST(ScreenLuminance, Bt1886DisplayAndTransfers) {
    const DisplayModel display;
    EXPECT_NEAR(screenLuminance(normalisedSignal(235, 8, false), TransferKind::Sdr, display), 200.0, 1e-9);
    EXPECT_NEAR(screenLuminance(normalisedSignal(16, 8, false), TransferKind::Sdr, display), 0.0, 1e-9);
    EXPECT_NEAR(screenLuminance(normalisedSignal(1023, 10, true), TransferKind::Sdr, display), 200.0, 1e-9);
    // A display with a black level lifts black to it.
    EXPECT_NEAR(screenLuminance(0.0, TransferKind::Sdr, DisplayModel{100, 0.1}), 0.1, 1e-9);
    EXPECT_NEAR(screenLuminance(1.0, TransferKind::Pq, display), 10000.0, 1e-6);
    EXPECT_NEAR(screenLuminance(0.5080784, TransferKind::Pq, display), 100.0, 0.05);  // PQ's 100 cd/m²
    EXPECT_NEAR(screenLuminance(1.0, TransferKind::Hlg, display), 1000.0, 1e-3);
    EXPECT_EQ(transferKind(std::string("arib-std-b67")), TransferKind::Hlg);
    EXPECT_EQ(transferKind(std::nullopt), TransferKind::Sdr);
}

TEST(FlashRule, LuminanceStepAndDarkerImageAtTheirLimits) {
    // The whole screen turning every 3 frames at 25 fps: 4.2 Hz.
    EXPECT_LE(square(0, 19.99, 100, 100, 3, 25, 75).most, kMostFlashes);
    EXPECT_GT(square(0, 20.0, 100, 100, 3, 25, 75).most, kMostFlashes);
    EXPECT_GT(square(159.99, 40, 100, 100, 3, 25, 75).most, kMostFlashes);
    EXPECT_LE(square(160.0, 40, 100, 100, 3, 25, 75).most, kMostFlashes);
}

TEST(FlashRule, AreaAtTheSettingsShare) {
    EXPECT_LE(square(0, 100, 249, 1000, 3, 25, 75).most, kMostFlashes);
    EXPECT_GT(square(0, 100, 250, 1000, 3, 25, 75).most, kMostFlashes);
    // The stricter limit.
    EXPECT_LE(square(0, 100, 199, 1000, 3, 25, 75, 0.20).most, kMostFlashes);
    EXPECT_GT(square(0, 100, 200, 1000, 3, 25, 75, 0.20).most, kMostFlashes);
}

TEST(FlashRule, RateByPresentationTime) {
    // 25 fps: a transition every 4 frames is 3.125 Hz and fails on its 7th (frame 28: those
    // of frames 4 to 28 lie within 24 frames); every 5 frames (2.5 Hz) passes.
    const Outcome fast = square(0, 100, 10, 10, 4, 25, 75);
    EXPECT_EQ(fast.most, 3.5);
    EXPECT_EQ(fast.firstFailing, 28);
    EXPECT_LE(square(0, 100, 10, 10, 5, 25, 75).most, kMostFlashes);
    // 29.97 fps: a transition every 5 frames makes 7 within 30 frames (1.001 s): 30 apart is
    // more than a second, so 3 flashes; every 4 frames fails.
    const double ntsc = 30000.0 / 1001.0;
    EXPECT_EQ(square(0, 100, 10, 10, 5, ntsc, 90).most, 3.0);
    EXPECT_GT(square(0, 100, 10, 10, 4, ntsc, 90).most, kMostFlashes);
    // 3 Hz exactly (24 fps, 4 frames a half): transitions a second apart are not in one second.
    EXPECT_EQ(square(0, 100, 10, 10, 4, 24, 72).most, 3.0);
}

TEST(FlashRule, GradualChangesCountWhereTheyComplete) {
    FlashRule rule({1}, FlashSettings{});
    std::vector<CellState> cell(1);
    // Ramps of 8 cd/m² a frame up to 24 and back: a transition on the third frame of each.
    int transitions = 0;
    for (int f = 0; f < 40; ++f) {
        const int phase = f % 6;
        cell[0].luminance = 8.0 * (phase <= 3 ? phase : 6 - phase);
        if (rule.feed(f, f / 25.0, cell).area > 0) ++transitions;
    }
    EXPECT_GE(transitions, 11);
}

TEST(FlashRule, RedNeedsASaturatedRedOnOneSide) {
    const auto redFlashes = [](double ratioOk) {
        FlashRule rule({1}, FlashSettings{});
        std::vector<CellState> cell(1);
        double most = 0;
        for (int f = 0; f < 50; ++f) {
            const bool on = (f / 3) % 2;
            // A red whose luminance does not change: only the red rule can see it.
            cell[0] = CellState{10.0, on ? 100.0 : 0.0, on && ratioOk};
            most = std::max(most, rule.feed(f, f / 25.0, cell).redFlashes);
        }
        return most;
    };
    EXPECT_GT(redFlashes(true), kMostFlashes);
    EXPECT_EQ(redFlashes(false), 0.0);
}

TEST(FlashCells, TableEqualsFormulaAtEveryDepth) {
    std::mt19937 random(7);
    for (int depth : {8, 10}) {
        const uint32_t w = 37, h = 21;  // partial cells on both edges
        std::vector<uint16_t> deep(w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2));
        for (auto& v : deep) v = static_cast<uint16_t>(random() % (1u << depth));
        std::vector<uint8_t> bytes(deep.begin(), deep.end());
        Picture p;
        p.planeCount = 3;
        p.bitDepth = depth;
        const std::size_t bytesPer = depth > 8 ? 2 : 1;
        const uint8_t* base = depth > 8 ? reinterpret_cast<const uint8_t*>(deep.data()) : bytes.data();
        p.planes[0] = {base, static_cast<std::ptrdiff_t>(w * bytesPer), w, h};
        const uint32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
        p.planes[1] = {base + w * h * bytesPer, static_cast<std::ptrdiff_t>(cw * bytesPer), cw, ch};
        p.planes[2] = {base + (w * h + cw * ch) * bytesPer, static_cast<std::ptrdiff_t>(cw * bytesPer), cw, ch};
        const FlashCells cells(w, h, ColourDescription{depth, "tv", "bt709", "bt709"}, DisplayModel{});
        std::vector<CellState> fast, plain;
        std::vector<uint32_t> scratch;
        cells.measure(p, fast, scratch);
        cells.measurePlain(p, plain, scratch);
        ASSERT_EQ(fast.size(), 5u * 3u);
        for (std::size_t i = 0; i < fast.size(); ++i) {
            EXPECT_EQ(fast[i].luminance, plain[i].luminance) << depth << " " << i;
            EXPECT_EQ(fast[i].redness, plain[i].redness);
        }
    }
}
