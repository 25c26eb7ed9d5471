// Alarm rules of live channels: detection and recovery times at their boundaries.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "indicators/registry.h"
#include "monitor/alarm_profile.h"
#include "monitor/alarm_rules.h"
#include "monitor/loudness_alarms.h"
#include "monitor/monitor_options.h"

namespace {

struct Fed {
    std::vector<AlarmChange> changes;
    AlarmTracker tracker;
    explicit Fed(AlarmTiming timing) : tracker("black", timing, 25) {}
    void feed(int64_t frame, bool defect) { tracker.feed(frame, defect, frame, changes); }
    std::vector<std::pair<AlarmChange::Kind, int64_t>> kinds() const {
        std::vector<std::pair<AlarmChange::Kind, int64_t>> out;
        for (const AlarmChange& c : changes)
            out.emplace_back(c.kind, c.kind == AlarmChange::Cleared ? c.endFrame : c.startFrame);
        return out;
    }
};

TEST(MonitorAlarms, RaisedWhenTheRunReachesItsDetectionTimeExactly) {
    Fed f({1.0, 0});
    for (int64_t i = 10; i < 34; ++i) f.feed(i, true);  // 24 frames: 0.96 s
    EXPECT_FALSE(f.tracker.raised());
    f.feed(34, true);  // 25 frames: 1 s
    EXPECT_TRUE(f.tracker.raised());
    EXPECT_EQ(f.changes.back().kind, AlarmChange::Raised);
    EXPECT_EQ(f.changes.back().startFrame, 10);
}

TEST(MonitorAlarms, AOneFrameGapRestartsDetectionButNotARaisedAlarm) {
    Fed f({0.4, 0.2});  // 10 frames to raise, 5 clean frames to clear
    for (int64_t i = 0; i < 9; ++i) f.feed(i, true);
    f.feed(9, false);  // gap before the tenth frame: nothing raised
    for (int64_t i = 10; i < 19; ++i) f.feed(i, true);
    EXPECT_FALSE(f.tracker.raised());
    f.feed(19, true);
    ASSERT_TRUE(f.tracker.raised());
    for (int64_t i = 20; i < 24; ++i) f.feed(i, false);  // four clean frames: still raised
    f.feed(24, true);
    for (int64_t i = 25; i < 29; ++i) f.feed(i, false);
    EXPECT_TRUE(f.tracker.raised());
    f.feed(29, false);  // the fifth clean frame: 0.2 s since the last defect ended
    EXPECT_FALSE(f.tracker.raised());
    ASSERT_EQ(f.changes.back().kind, AlarmChange::Cleared);
    EXPECT_EQ(f.changes.back().startFrame, 10);
    EXPECT_EQ(f.changes.back().endFrame, 24);
    int raised = 0;
    for (const AlarmChange& c : f.changes) raised += c.kind == AlarmChange::Raised;
    EXPECT_EQ(raised, 1);
}

TEST(MonitorAlarms, ZeroTimesRaiseOnTheFirstFrameAndClearOnTheFirstCleanOne) {
    Fed f({0, 0});
    f.feed(5, true);
    EXPECT_TRUE(f.tracker.raised());
    f.feed(6, false);
    EXPECT_FALSE(f.tracker.raised());
}

TEST(MonitorAlarms, SkippedFramesCountAsStreamTime) {
    Fed f({1.0, 0.5});  // every 4th frame measured
    for (int64_t i = 0; i < 24; i += 4) f.feed(i, true);
    EXPECT_FALSE(f.tracker.raised());  // frames 0-20: 21 frame times
    f.feed(24, true);
    EXPECT_TRUE(f.tracker.raised());
    f.feed(28, false);
    f.feed(32, false);
    EXPECT_TRUE(f.tracker.raised());  // 8 frame times clean
    f.feed(36, false);
    EXPECT_TRUE(f.tracker.raised());  // 12 frame times: 0.48 s
    f.feed(40, false);
    EXPECT_FALSE(f.tracker.raised());
}

TEST(MonitorAlarms, EventRulesWatchTheRequestedIndicatorsOnly) {
    AlarmSettings settings;
    const int blackout = *findIndicator("blackout");
    auto rules = makeEventAlarmRules(settings, 1u << blackout, 25);
    // Blackout's request has the picture judged black or of one flat colour; damage is always judged.
    ASSERT_EQ(rules->events(), (std::vector<std::string_view>{"black", "constant_colour", "damaged"}));
    settings.timing["black"] = {0, 0};
    rules = makeEventAlarmRules(settings, 1u << blackout, 25);
    Results black;
    black.set(blackout, 1);
    std::vector<AlarmChange> changes;
    rules->feed(0, black, changes);
    ASSERT_EQ(changes.size(), 2u);  // pending, then raised at once
    EXPECT_EQ(changes[1].kind, AlarmChange::Raised);
    EXPECT_EQ(settings.severityOf("black"), "critical");
    EXPECT_EQ(settings.severityOf("freeze"), "warning");
}

TEST(MonitorAlarms, FlickerAlarmsFollowTheEventRule) {
    // Motion switches blocks as flicker does: a high flickering value whose blocks do not
    // flicker raises nothing; one whose flickering blocks switch above the threshold does.
    AlarmSettings settings;
    settings.timing["flicker"] = {0, 0};
    const int flickering = *findIndicator("flickering");
    for (auto [evidence, alarms] : {std::pair<double, std::size_t>{0.0, 0}, {0.1, 0}, {0.125, 2}}) {
        auto rules = makeEventAlarmRules(settings, 1u << flickering, 25);
        Results period;
        period.set(flickering, 0.5);
        period.setEvidence(flickering, evidence);
        std::vector<AlarmChange> changes;
        rules->feed(8, period, changes);
        EXPECT_EQ(changes.size(), alarms) << evidence;
    }
}

TEST(MonitorAlarms, FlashAlarmAboveThreeFlashesASecond) {
    // The file runs' flash event: more than three flashes in the last second, from the
    // sequence's first flash.
    AlarmSettings settings;
    settings.timing["flash"] = {0, 0};
    const int perSecond = *findIndicator("flashes_per_second");
    for (auto [flashes, alarms] : {std::pair<double, std::size_t>{3.0, 0}, {3.5, 2}}) {
        auto rules =
            makeEventAlarmRules(settings, indicatorRegistry()[static_cast<std::size_t>(perSecond)].requiredMask, 25);
        ASSERT_EQ(rules->events().front(), "flash");
        Results frame;
        frame.set(perSecond, flashes);
        frame.setEvidence(perSecond, 10);
        Results clean;
        clean.set(perSecond, 0);
        std::vector<AlarmChange> changes;
        rules->feed(0, clean, changes);
        rules->feed(30, frame, changes);
        ASSERT_EQ(changes.size(), alarms) << flashes;
        if (alarms) {
            EXPECT_EQ(changes[1].startFrame, 10);
        }
    }
}

// What the loudness alarms make of one measured frame's audio.
StreamStatus audio(std::optional<double> shortTerm, std::optional<double> truePeak) {
    StreamStatus s;
    s.hasAudio = true;
    s.audioSeconds = 0.04;
    s.shortTerm = shortTerm;
    s.truePeak = truePeak;
    return s;
}

std::vector<std::pair<std::string_view, AlarmChange::Kind>> raisedOrCleared(const std::vector<AlarmChange>& changes) {
    std::vector<std::pair<std::string_view, AlarmChange::Kind>> out;
    for (const AlarmChange& c : changes)
        if (c.kind != AlarmChange::Pending) out.emplace_back(c.event, c.kind);
    return out;
}

TEST(MonitorAlarms, LoudnessOutsideItsRangeForTheDetectionTimeAndTruePeakAboveItsCeiling) {
    AlarmSettings settings;
    EXPECT_EQ(settings.timingOf("loudness").detection, 10);  // short-term loudness moves with the programme
    EXPECT_EQ(settings.timingOf("true_peak").detection, 0);
    settings.timing["loudness"] = {0.2, 0.2};  // 5 frames at 25 fps
    LoudnessAlarms alarms(settings, *loudnessPreset("ebu-r128"), 25);
    std::vector<AlarmChange> changes;
    // The range's ends and the ceiling itself are allowed.
    for (int64_t i = 0; i < 10; ++i) alarms.feed(i, audio(i % 2 ? -22.0 : -24.0, -1.0), changes);
    EXPECT_TRUE(raisedOrCleared(changes).empty());
    for (int64_t i = 10; i < 14; ++i) alarms.feed(i, audio(-21.99, -1.5), changes);
    EXPECT_TRUE(raisedOrCleared(changes).empty());  // 4 frames: 0.16 s
    alarms.feed(14, audio(-21.99, -0.99), changes);  // the fifth, and a peak over the ceiling
    using Pair = std::pair<std::string_view, AlarmChange::Kind>;
    EXPECT_EQ(raisedOrCleared(changes),
              (std::vector<Pair>{{"loudness", AlarmChange::Raised}, {"true_peak", AlarmChange::Raised}}));
    EXPECT_EQ(changes[0].startFrame, 10);
    changes.clear();
    for (int64_t i = 15; i < 19; ++i) alarms.feed(i, audio(-23.5, -10.0), changes);
    EXPECT_TRUE(raisedOrCleared(changes).empty());  // back in range for 4 frames
    alarms.feed(19, audio(-23.5, -10.0), changes);
    EXPECT_EQ(raisedOrCleared(changes), (std::vector<Pair>{{"loudness", AlarmChange::Cleared}}));
    // Digital silence: no short-term value says nothing about loudness, and no peak is below
    // any ceiling; a frame that brought no audio says nothing about either.
    changes.clear();
    alarms.feed(20, audio(-30.0, -0.5), changes);  // the peak alarm, still raised, goes on
    StreamStatus noneCame;                         // the input has audio, but none came
    noneCame.hasAudio = true;
    alarms.feed(45, noneCame, changes);            // 1 s after frame 20 ended
    EXPECT_TRUE(raisedOrCleared(changes).empty());
    alarms.feed(46, audio(std::nullopt, std::nullopt), changes);
    EXPECT_EQ(raisedOrCleared(changes), (std::vector<Pair>{{"true_peak", AlarmChange::Cleared}}));
    EXPECT_EQ(changes.back().startFrame, 14);
    EXPECT_EQ(changes.back().endFrame, 20);
}

int parse(std::vector<std::string> args, MonitorOptions* out = nullptr) {
    args.insert(args.begin(), {"frameprobe", "monitor"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    testing::internal::CaptureStderr();
    auto parsed = parseMonitorOptions(static_cast<int>(argv.size()), argv.data());
    testing::internal::GetCapturedStderr();
    if (auto* o = std::get_if<MonitorOptions>(&parsed)) {
        if (out) *out = *o;
        return 0;
    }
    return std::get<int>(parsed);
}

TEST(MonitorOptions, ChannelsAreNamedByNameEqualsOrByOption) {
    MonitorOptions o;
    ASSERT_EQ(parse({"cam=udp://127.0.0.1:5000", "--name", "x", "srt://h:1?a=b", "udp://h:2"}, &o), 0);
    ASSERT_EQ(o.channels.size(), 3u);
    EXPECT_EQ(o.channels[0].name, "x");  // --name goes to the first input
    EXPECT_EQ(o.channels[0].url, "udp://127.0.0.1:5000");
    EXPECT_EQ(o.channels[1].name, "channel2");
    EXPECT_EQ(o.channels[1].url, "srt://h:1?a=b");
    EXPECT_EQ(parse({"a=x.ts", "a=y.ts"}), 2);            // two channels of one name
    EXPECT_EQ(parse({"--name", "a b", "x.ts"}), 2);       // a name that cannot be a label or file name
    EXPECT_EQ(parse({"--reconnect-min", "5", "--reconnect-max", "1", "x.ts"}), 2);
    EXPECT_EQ(parse({"--black-min-duration", "-1", "x.ts"}), 2);
}

// A profile file in the test's temporary folder.
std::string profileFile(const std::string& name, const std::string& text) {
    const std::filesystem::path path = std::filesystem::path(testing::TempDir()) / name;
    std::ofstream(path) << text;
    return path.string();
}

TEST(MonitorOptions, AProfileSetsTheAlarmsAndTheCommandLineOverridesItFieldByField) {
    const std::string profile = profileFile("monitor-live.toml", R"(schema = 1
name = "live"
version = "1"
[events.flicker]
threshold = 0.3
[events.black]
min_duration = 0.5
recovery = 0.25
severity = "error"
[events.freeze]
recovery = 3.0
)");
    MonitorOptions o;
    ASSERT_EQ(parse({"--profile", profile, "--black-min-duration", "4", "--freeze-severity", "minor", "x.ts"}, &o), 0);
    EXPECT_EQ(o.alarms.timingOf("black").detection, 4);     // the option's
    EXPECT_EQ(o.alarms.timingOf("black").recovery, 0.25);   // the profile's
    EXPECT_EQ(o.alarms.severityOf("black"), "error");       // written with the alarm
    EXPECT_EQ(o.alarms.timingOf("freeze").detection, 2);    // not in the profile: the monitor's default
    EXPECT_EQ(o.alarms.timingOf("freeze").recovery, 3);
    EXPECT_EQ(o.alarms.severityOf("freeze"), "minor");
    EXPECT_EQ(o.alarms.severityOf("no_signal"), "critical");
    EXPECT_EQ(o.alarms.flickerThreshold, 0.3);
    ASSERT_EQ(parse({"--flicker-threshold", "0.05", "--profile", profile, "x.ts"}, &o), 0);
    EXPECT_EQ(o.alarms.flickerThreshold, 0.05);  // wherever the option stands
}

TEST(MonitorOptions, LoudnessLimitsFromThePresetTheProfileAndTheCommandLine) {
    MonitorOptions o;
    ASSERT_EQ(parse({"x.ts"}, &o), 0);
    EXPECT_EQ(o.loudness.target, -23);
    EXPECT_EQ(o.loudness.tolerance, 1);
    EXPECT_EQ(o.loudness.truePeak, -1);
    EXPECT_EQ(o.alarms.severityOf("loudness"), "warning");
    const std::string profile = profileFile("monitor-loudness.toml", R"(schema = 1
name = "us"
version = "1"
[loudness]
preset = "atsc-a85"
tolerance = 3
)");
    ASSERT_EQ(parse({"--profile", profile, "--true-peak-severity", "minor", "x.ts"}, &o), 0);
    EXPECT_EQ(o.loudness.target, -24);
    EXPECT_EQ(o.loudness.tolerance, 3);
    EXPECT_EQ(o.loudness.truePeak, -2);
    EXPECT_EQ(o.alarms.severityOf("loudness"), "error");  // as the profile judges files
    EXPECT_EQ(o.alarms.severityOf("true_peak"), "minor");
    ASSERT_EQ(parse({"--profile", profile, "--loudness-preset", "ebu-r128", "--loudness-target", "-16",
                     "--true-peak-limit", "-3", "--loudness-min-duration", "4", "x.ts"}, &o), 0);
    EXPECT_EQ(o.loudness.target, -16);
    EXPECT_EQ(o.loudness.tolerance, 1);  // the preset's, over the profile's
    EXPECT_EQ(o.loudness.truePeak, -3);
    EXPECT_EQ(o.alarms.timingOf("loudness").detection, 4);
    EXPECT_EQ(o.alarms.timingOf("loudness").recovery, 1);
    ASSERT_EQ(parse({"--loudness-tolerance", "0.5", "x.ts"}, &o), 0);
    EXPECT_EQ(o.loudness.tolerance, 0.5);
    EXPECT_EQ(parse({"--loudness-preset", "r128", "x.ts"}), 2);
    EXPECT_EQ(parse({"--loudness-tolerance", "-1", "x.ts"}), 2);
    EXPECT_EQ(parse({"--loudness-target", "nan", "x.ts"}), 2);
}

TEST(MonitorOptions, ABadProfileIsRefusedBeforeAnyChannelStarts) {
    EXPECT_EQ(parse({"--profile", "no-such-profile", "x.ts"}), 2);
    EXPECT_EQ(parse({"--profile",
                     profileFile("monitor-bad.toml",
                                 "schema = 1\nname = \"x\"\nversion = \"1\"\n[events.black]\nmin_duration = -1\n"),
                     "x.ts"}),
              2);
    EXPECT_EQ(parse({"--profile",
                     profileFile("monitor-typo.toml",
                                 "schema = 1\nname = \"x\"\nversion = \"1\"\n[events.blak]\nmin_duration = 1\n"),
                     "x.ts"}),
              2);
}

}  // namespace
