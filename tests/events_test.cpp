// Events: runs of frames with start, end and duration.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "indicators/registry.h"
#include "analysis/events.h"
#include "indicators/flickering.h"

namespace {

int indexOf(const char* key) { return *findIndicator(key); }

uint32_t maskOf(std::initializer_list<const char*> keys) {
    uint32_t mask = 0;
    for (const char* k : keys) mask |= indicatorRegistry()[static_cast<std::size_t>(indexOf(k))].requiredMask;
    return mask;
}

// Feeds frames first .. first + size - 1 with `key` set from `values`.
// `evidence` goes with every value but the -1 of frames that end no period; without
// one, each value is its own evidence (all of the picture's switching is flicker).
void feedValues(EventDetector& d, const char* key, int64_t first, const std::vector<double>& values,
                std::optional<double> evidence = std::nullopt) {
    for (std::size_t i = 0; i < values.size(); ++i) {
        Results r;
        r.set(indexOf(key), values[i]);
        if (values[i] != -1) r.setEvidence(indexOf(key), evidence.value_or(values[i]));
        d.feed(first + static_cast<int64_t>(i), r);
    }
}

std::vector<double> flags(int size, std::initializer_list<std::pair<int, int>> ranges) {
    std::vector<double> v(static_cast<std::size_t>(size), 0);
    for (auto [from, to] : ranges)
        for (int i = from; i <= to; ++i) v[static_cast<std::size_t>(i)] = 1;
    return v;
}

TEST(Events, BlackRunsWithTimesAt25Fps) {
    EventDetector d(25, maskOf({"blackout"}), {});
    feedValues(d, "blackout", 0, flags(100, {{25, 49}, {60, 60}, {99, 99}}));
    const auto events = d.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].type, "black");
    EXPECT_EQ(events[0].startFrame, 25);
    EXPECT_EQ(events[0].endFrame, 49);
    EXPECT_EQ(events[0].startTime, 1.0);
    EXPECT_EQ(events[0].endTime, 2.0);
    EXPECT_EQ(events[0].duration, 1.0);
    EXPECT_EQ(events[1].startFrame, 60);
    EXPECT_EQ(events[1].duration, 0.04);
    // Still open at the last frame.
    EXPECT_EQ(events[2].startFrame, 99);
    EXPECT_EQ(events[2].endFrame, 99);
}

TEST(Events, MinimumDurationPerType) {
    EventOptions options;
    options.minDuration["black"] = 0.5;
    EventDetector d(25, maskOf({"blackout", "letterbox"}), options);
    for (int f = 0; f < 40; ++f) {
        Results r;
        r.set(indexOf("blackout"), (f < 12) || (f >= 20 && f < 33) ? 1 : 0);  // 12 and 13 frames
        r.set(indexOf("letterbox"), f == 15 ? 0.2 : 0);
        d.feed(f, r);
    }
    const auto events = d.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, "letterbox");
    EXPECT_EQ(events[1].type, "black");
    EXPECT_EQ(events[1].startFrame, 20);
    EXPECT_EQ(events[1].duration, 13.0 / 25.0);
}

TEST(Events, FreezeSkipsFramesWithoutValueAndOffsetsAbsoluteFrames) {
    // At 10 fps one repeat flags a frame, and the freeze begins at the picture it repeats.
    EventDetector d(10, maskOf({"freezing"}), {});
    Results first;  // a temporal indicator writes nothing on the first frame
    d.feed(500, first);
    feedValues(d, "freezing", 501, {1, 1, 0, 1});
    const auto events = d.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].startFrame, 500);
    EXPECT_EQ(events[0].endFrame, 502);
    EXPECT_EQ(events[0].startTime, 50.0);
    EXPECT_EQ(events[0].endTime, 50.3);
    // The picture moved at 503 and stood from there: a second freeze, not joined to the first.
    EXPECT_EQ(events[1].startFrame, 503);
    EXPECT_EQ(events[1].endFrame, 504);
}

TEST(Events, FreezeStartsAtTheFirstStillFrame) {
    // 25 fps: the flag turns on at the third repeat. Frames 10-34 show one picture (25 frames).
    EventDetector d(25, maskOf({"freezing"}), {});
    feedValues(d, "freezing", 0, flags(50, {{13, 34}}));
    const auto events = d.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].startFrame, 10);
    EXPECT_EQ(events[0].endFrame, 34);
    EXPECT_EQ(events[0].duration, 1.0);
    // A freeze flagged on the first frames reaches back no further than the first frame.
    EventDetector early(25, maskOf({"freezing"}), {});
    feedValues(early, "freezing", 0, flags(5, {{1, 4}}));
    EXPECT_EQ(early.events().at(0).startFrame, 0);
}

TEST(Events, RecoveryJoinsRunsApartByLessThanIt) {
    EventOptions options;
    options.recovery["black"] = 0.08;  // two frames at 25 fps
    options.severity["black"] = Severity::Error;
    EventDetector d(25, maskOf({"blackout"}), options);
    // Gaps of one frame (joined), then two frames (as long as the recovery: apart).
    feedValues(d, "blackout", 0, flags(20, {{0, 3}, {5, 6}, {9, 10}}));
    const auto events = d.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].startFrame, 0);
    EXPECT_EQ(events[0].endFrame, 6);
    EXPECT_EQ(events[0].severity, Severity::Error);
    EXPECT_EQ(events[1].startFrame, 9);
}

TEST(Events, NotRequestedGivesNoEvents) {
    EventDetector d(25, maskOf({"blur"}), {});
    feedValues(d, "blackout", 0, {1, 1, 1});
    EXPECT_TRUE(d.events().empty());
}

TEST(Events, PillarboxAboveZeroAndNaNBreaksARun) {
    EventDetector d(25, maskOf({"pillarbox"}), {});
    feedValues(d, "pillarbox", 0, {0.1, 0.1, std::numeric_limits<double>::quiet_NaN(), 0.3, 0});
    const auto events = d.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, "pillarbox");
    EXPECT_EQ(events[0].endFrame, 1);
    EXPECT_EQ(events[1].startFrame, 3);
    EXPECT_EQ(events[1].endFrame, 3);
}

// Flickering as the run gives it: nothing on the first frame, -1 between
// period ends, a value on every eighth frame after it.
std::vector<double> flickerPeriods(std::initializer_list<double> periodValues) {
    std::vector<double> v;
    for (double p : periodValues) {
        for (int i = 0; i < 7; ++i) v.push_back(-1);
        v.push_back(p);
    }
    return v;
}

TEST(Events, FlickerCoversItsPeriodAndJoinsAdjacentPeriods) {
    EventDetector d(25, maskOf({"flickering"}), {});
    Results first;
    d.feed(0, first);
    // Periods end on frames 8, 16, 24, 32, 40: covering 1-8, 9-16, ...
    feedValues(d, "flickering", 1, flickerPeriods({0.5, 0.2, 0.05, 0.3, std::numeric_limits<double>::quiet_NaN()}));
    const auto events = d.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].type, "flicker");
    EXPECT_EQ(events[0].startFrame, 1);
    EXPECT_EQ(events[0].endFrame, 16);
    EXPECT_EQ(events[0].duration, 16.0 / 25.0);
    EXPECT_EQ(events[1].startFrame, 25);
    EXPECT_EQ(events[1].endFrame, 32);
}

TEST(Events, FlickerThresholdIsAnOption) {
    EventOptions options;
    options.flickerThreshold = 0.4;
    EventDetector d(25, maskOf({"flickering"}), options);
    feedValues(d, "flickering", 1, flickerPeriods({0.5, 0.2}));
    ASSERT_EQ(d.events().size(), 1u);
    EXPECT_EQ(d.events()[0].endFrame, 8);
}

// Motion and noise switch blocks as flicker does: the threshold applies to the switching of
// the blocks that flicker, whatever the value; a row without that evidence marks nothing.
TEST(Events, FlickerWeighsTheSwitchingOfTheBlocksThatFlicker) {
    for (auto [value, evidence, expected] :
         {std::tuple<double, std::optional<double>, std::size_t>{0.5, std::nullopt, 0},
          {0.5, 0.0, 0},      // motion: no block flickers
          {0.5, 0.1, 0},      // equal to the threshold
          {0.007, 0.125, 1},  // one block of many
          {0.5, 0.125, 1}}) {
        EventDetector d(25, maskOf({"flickering"}), {});
        std::vector<double> values = flickerPeriods({value, value});
        for (std::size_t i = 0; i < values.size(); ++i) {
            Results r;
            r.set(indexOf("flickering"), values[i]);
            if (evidence && values[i] != -1) r.setEvidence(indexOf("flickering"), *evidence);
            d.feed(int64_t(i) + 1, r);
        }
        EXPECT_EQ(d.events().size(), expected) << value << " " << evidence.value_or(-1);
    }
}

// Rows the flicker detector judged: its finding marks them, from the flicker's first frame,
// when its rate is above the threshold; the value and its evidence no longer count.
TEST(Events, JudgedFlickerStartsWhereTheFlickerBeganAndWeighsItsRate) {
    for (auto [rate, expected] : {std::pair{0.2, std::size_t{1}}, {0.1, std::size_t{0}}}) {
        EventDetector d(25, maskOf({"flickering"}), {});
        for (int64_t f = 0; f < 60; ++f) {
            Results r;
            r.set(indexOf("flickering"), f % 8 == 0 ? 0.9 : -1);
            if (f % 8 == 0) r.setEvidence(indexOf("flickering"), 0.9);
            const bool flicker = f >= 30 && f < 50;
            r.detections.set(Detection::Flicker, flicker);
            if (flicker) {
                r.detections.flickerStart = 22;
                r.detections.flickerRate = rate;
            }
            d.feed(f, r);
        }
        const std::vector<Event> events = d.events();
        ASSERT_EQ(events.size(), expected) << rate;
        if (expected) {
            EXPECT_EQ(events[0].startFrame, 22);
            EXPECT_EQ(events[0].endFrame, 49);
        }
    }
}

TEST(Events, OrderedByStartFrame) {
    EventDetector d(25, maskOf({"blackout", "letterbox"}), {});
    const std::vector<double> black = flags(10, {{2, 3}, {7, 8}});
    const std::vector<double> box = flags(10, {{0, 4}});
    for (int f = 0; f < 10; ++f) {
        Results r;
        r.set(indexOf("blackout"), black[static_cast<std::size_t>(f)]);
        r.set(indexOf("letterbox"), box[static_cast<std::size_t>(f)]);
        d.feed(f, r);
    }
    std::vector<std::pair<std::string, int64_t>> order;
    for (const Event& e : d.events()) order.emplace_back(e.type, e.startFrame);
    // Frames black as a whole are black, not also letterboxed.
    EXPECT_EQ(order, (std::vector<std::pair<std::string, int64_t>>{
                         {"letterbox", 0}, {"black", 2}, {"letterbox", 4}, {"black", 7}}));
}

TEST(Events, TheDocumentedOrderAtEqualStartFramesIsTheOrderTheyComeIn) {
    std::ifstream docs(std::string(FRAMEPROBE_GOLDEN_DIR) + "/../../docs/output.md");
    std::string text((std::istreambuf_iterator<char>(docs)), std::istreambuf_iterator<char>());
    const std::size_t at = text.find("at equal start frames");
    ASSERT_NE(at, std::string::npos);
    std::vector<std::string> documented;
    for (std::size_t open = text.find('`', at); open < text.find('.', at); open = text.find('`', open + 1)) {
        const std::size_t close = text.find('`', open + 1);
        documented.push_back(text.substr(open + 1, close - open - 1));
        open = close;
    }
    // Every event type starting on one frame, fed in no particular order; a black frame
    // is no letterbox or pillarbox, so those come from a second run without black.
    std::set<std::string> seen;
    for (const double black : {1.0, 0.0}) {
        EventDetector detector(25, kAllIndicators, {}, 0);
        for (int frame = 0; frame < 8; ++frame) {
            Results row;
            for (int i = 0; i < kIndicatorCount; ++i) {
                row.set(i, 1.0);
                row.setEvidence(i, 100);  // whatever evidence a rule needs
            }
            row.set(indexOf("blackout"), black);
            // The types only detectors find.
            row.detections.set(Detection::ConstantColour, true);
            row.detections.set(Detection::Damaged, true);
            detector.feed(frame, row);
        }
        std::vector<std::string> listed, expected;
        for (const Event& e : detector.events()) listed.emplace_back(e.type);
        seen.insert(listed.begin(), listed.end());
        for (const std::string& type : documented)
            if (std::find(listed.begin(), listed.end(), type) != listed.end()) expected.push_back(type);
        EXPECT_EQ(expected, listed);
    }
    EXPECT_EQ(seen, std::set<std::string>(documented.begin(), documented.end()));
}

}  // namespace
