// The QC gate: parsing conditions and evaluating them on a run.
#include <gtest/gtest.h>

#include <functional>

#include "indicators/registry.h"
#include "analysis/qc_gate.h"
#include "analysis/run_record.h"
#include "output/junit_xml.h"
#include "rows/text_format.h"
#include "sink_capture.h"

namespace {

int indexOf(const char* key) { return *findIndicator(key); }

std::string refusal(const char* text) {
    try {
        parseQcCondition(text);
    } catch (const QcSyntaxError& e) {
        return e.what();
    }
    return "";
}

TEST(QcParse, ReadsNamesOperatorsAndNumbers) {
    const QcCondition c = parseQcCondition(" blur.p95 >= 5.5 ");
    EXPECT_EQ(c.subject, "blur");
    EXPECT_EQ(c.measure, "p95");
    EXPECT_FALSE(c.isEvent);
    EXPECT_EQ(c.comparison, Comparison::GreaterEqual);
    EXPECT_EQ(c.limit, 5.5);
    EXPECT_EQ(c.text, " blur.p95 >= 5.5 ");

    const QcCondition black = parseQcCondition("black>0");
    EXPECT_TRUE(black.isEvent);
    EXPECT_EQ(black.measure, "count");
    EXPECT_EQ(parseQcCondition("freeze.duration<=-1e-3").comparison, Comparison::LessEqual);
    EXPECT_EQ(parseQcCondition("freeze.duration<=-1e-3").limit, -1e-3);
    EXPECT_EQ(parseQcCondition("blockiness.mean<0.9").comparison, Comparison::Less);
    EXPECT_EQ(parseQcCondition("flicker.total!=0").comparison, Comparison::NotEqual);
    EXPECT_EQ(parseQcCondition("noise.count==3").comparison, Comparison::Equal);
}

TEST(QcParse, RefusesMalformedConditionsWithAReason) {
    EXPECT_NE(refusal("blur.p95").find("expected NAME OPERATOR NUMBER"), std::string::npos);
    EXPECT_NE(refusal("blur.p95=5").find("expected NAME OPERATOR NUMBER"), std::string::npos);
    EXPECT_NE(refusal(">5").find("name is missing"), std::string::npos);
    EXPECT_NE(refusal("blur.p95>").find("not a finite number"), std::string::npos);
    EXPECT_NE(refusal("blur.p95>5x").find("not a finite number"), std::string::npos);
    EXPECT_NE(refusal("blur.p95>nan").find("not a finite number"), std::string::npos);
    EXPECT_NE(refusal("blur.p95>>5").find("not a finite number"), std::string::npos);
    EXPECT_NE(refusal("blurr.p95>5").find("unknown name \"blurr\""), std::string::npos);
    EXPECT_NE(refusal("spatial activity.mean>5").find("unknown name"), std::string::npos);
    EXPECT_NE(refusal("blur>5").find("needs one of the statistics"), std::string::npos);
    EXPECT_NE(refusal("blur.p99>5").find("needs one of the statistics"), std::string::npos);
    EXPECT_NE(refusal("black.mean>0").find("events have"), std::string::npos);
    EXPECT_EQ(refusal("blur.p95>5"), "");
    EXPECT_NE(refusal("x>1").find("invalid --fail-on condition \"x>1\""), std::string::npos);
}

// Fifty frames at 25 fps: black on frames 10-19 and 30-44; blur rises 0..49.
RunRecord sampleRun(uint32_t extraMask = 0) {
    RunInfo info = everyIndicator(25);
    info.mask = 1u << indexOf("blackout") | 1u << indexOf("blur") | extraMask;
    RunRecord record;
    std::vector<CapturedRow> rows;
    for (int f = 0; f < 50; ++f) {
        Results r;
        r.set(indexOf("blackout"), (f >= 10 && f < 20) || (f >= 30 && f < 45) ? 1 : 0);
        r.set(indexOf("blur"), f);
        rows.push_back({f, r});
    }
    feed(record, info, rows);
    return record;
}

std::vector<std::string> failuresOf(std::initializer_list<const char*> conditions, const RunRecord& record) {
    QcGate gate;
    for (const char* c : conditions) gate.add(c);
    return gate.failures(record);
}

TEST(QcGate, EventConditions) {
    const RunRecord record = sampleRun();
    EXPECT_EQ(failuresOf({"black>0"}, record), (std::vector<std::string>{"black>0 (black.count = 2)"}));
    EXPECT_EQ(failuresOf({"black.count>=3"}, record).size(), 0u);
    EXPECT_EQ(failuresOf({"black.duration>0.5"}, record),
              (std::vector<std::string>{"black.duration>0.5 (black.duration = 0.6)"}));
    EXPECT_EQ(failuresOf({"black.duration>0.6"}, record).size(), 0u);
    EXPECT_EQ(failuresOf({"black.total==1"}, record).size(), 1u);
    // No freeze events: count, longest and total are zero.
    EXPECT_EQ(failuresOf({"freeze>0", "freeze.duration>0", "freeze.total>0"}, record).size(), 0u);
    EXPECT_EQ(failuresOf({"freeze.count==0"}, record).size(), 1u);
}

// A container's rows of blackout at a stated 10 fps, timed by `times`, black where `black` holds.
std::vector<CapturedRow> timedBlackRows(const std::vector<double>& times, const std::function<bool(int)>& black) {
    std::vector<CapturedRow> rows;
    for (int f = 0; f < static_cast<int>(times.size()); ++f) {
        Results r;
        r.set(indexOf("blackout"), black(f) ? 1 : 0);
        r.time = times[static_cast<std::size_t>(f)];
        rows.push_back({f, r});
    }
    return rows;
}

RunInfo blackoutAt10Fps() {
    RunInfo info = everyIndicator(10);
    info.mask = 1u << indexOf("blackout");
    return info;
}

TEST(QcGate, DurationsOfPresentationTimesMeetLimitsTheyEqual) {
    // A container's frames at 10 fps, timed as its time stamps give them: black for
    // 2 s from 0.3 s (2.3 - 0.3 is 1.9999999999999998), 0.1 s from 3 s and 0.2 s from 4 s.
    std::vector<double> times;
    for (int f = 0; f < 50; ++f) times.push_back(f * 100 / 1000.0);
    RunRecord record;
    feed(record, blackoutAt10Fps(),
         timedBlackRows(times, [](int f) { return (f >= 3 && f < 23) || f == 30 || f == 40 || f == 41; }));
    EXPECT_EQ(record.events()[0].duration, 2.0);
    EXPECT_EQ(failuresOf({"black.duration>2", "black.duration<2", "black.total>2.3", "black.total<2.3"}, record).size(),
              0u);
    EXPECT_EQ(failuresOf({"black.duration>=2", "black.total==2.3"}, record).size(), 2u);
}

TEST(QcGate, MinimumDurationsWeighWhatPresentationTimesSay) {
    // Variable frame rate: two black frames shown for 1 s each at a stated 10 fps.
    const RunInfo info = blackoutAt10Fps();
    const auto rows = timedBlackRows({0, 0.1, 1.1, 2.1, 2.2}, [](int f) { return f == 1 || f == 2; });
    EventOptions options;
    options.minDuration["black"] = 2;
    RunRecord record(options);
    feed(record, info, rows);
    ASSERT_EQ(record.events().size(), 1u);
    EXPECT_EQ(record.events()[0].duration, 2.0);
    EXPECT_EQ(failuresOf({"black.duration>=2"}, record).size(), 1u);
    // A gate on events alone keeps the times without the rows, and judges the same.
    RunRecord timesOnly(options);
    timesOnly.keepRows(false);
    timesOnly.keepTimes(true);
    feed(timesOnly, info, rows);
    EXPECT_EQ(failuresOf({"black.duration>=2"}, timesOnly).size(), 1u);
    options.minDuration["black"] = 2.001;
    RunRecord stricter(options);
    feed(stricter, info, rows);
    EXPECT_TRUE(stricter.events().empty());
}

TEST(QcGate, RecoveryWeighsWhatPresentationTimesSay) {
    // Black frames 1 and 3 at a stated 10 fps; frame 2 between them is shown for 0.5 s.
    const RunInfo info = blackoutAt10Fps();
    const auto rows = timedBlackRows({0, 0.1, 0.2, 0.7, 0.8}, [](int f) { return f == 1 || f == 3; });
    EventOptions options;
    options.recovery["black"] = 0.5;  // absent exactly that long: the first event ends
    RunRecord record(options);
    feed(record, info, rows);
    EXPECT_EQ(record.events().size(), 2u);
    options.recovery["black"] = 0.51;
    RunRecord longer(options);
    feed(longer, info, rows);
    ASSERT_EQ(longer.events().size(), 1u);
    EXPECT_EQ(longer.events()[0].duration, 0.7);
}

TEST(QcGate, AnEventToTheLastFrameLastsThroughThatFrame) {
    // The last frame has no successor to end it: it is shown for a frame at the stated rate.
    RunRecord record;
    feed(record, blackoutAt10Fps(), timedBlackRows({0, 0.1, 0.2, 0.7, 0.8}, [](int f) { return f >= 3; }));
    ASSERT_EQ(record.events().size(), 1u);
    EXPECT_EQ(record.events()[0].startTime, 0.7);
    EXPECT_DOUBLE_EQ(record.events()[0].endTime, 0.9);
    EXPECT_DOUBLE_EQ(record.events()[0].duration, 0.2);
}

TEST(QcGate, StatisticConditionsInTheOrderGiven) {
    const RunRecord record = sampleRun();
    EXPECT_EQ(failuresOf({"blur.max<49", "blur.p95>46", "blur.mean==24.5", "blur.count!=50"}, record),
              (std::vector<std::string>{"blur.p95>46 (blur.p95 = 46.55)", "blur.mean==24.5 (blur.mean = 24.5)"}));
}

TEST(QcGate, IndicatorWithoutValuesNeverFailsButItsCountIsZero) {
    const RunRecord record = sampleRun();  // noise not requested
    EXPECT_EQ(failuresOf({"noise.mean>-1", "noise.mean<1", "noise.p95!=0"}, record).size(), 0u);
    EXPECT_EQ(failuresOf({"noise.count==0"}, record).size(), 1u);
}

}  // namespace

namespace {

TEST(QcVerdict, StatusFromTheSeveritiesOfWhatHeld) {
    RunRecord record = sampleRun();
    QcGate gate;
    record.setGate(&gate);
    EXPECT_FALSE(record.verdict().has_value());  // nothing judged: no verdict at all
    gate.add("blur.max>100");
    EXPECT_EQ(record.verdict()->status, VerdictStatus::Pass);
    gate.add("black.duration>0.5", Severity::Warning, "profile p");
    const Verdict warned = *record.verdict();
    EXPECT_EQ(warned.status, VerdictStatus::Warn);
    ASSERT_EQ(warned.findings.size(), 1u);
    EXPECT_EQ(warned.findings[0].name, "black.duration");
    EXPECT_EQ(warned.findings[0].value, 0.6);
    EXPECT_EQ(warned.findings[0].events.size(), 2u);  // the events behind it
    EXPECT_EQ(warned.findings[0].source, "profile p");
    gate.add("black>0");
    EXPECT_EQ(record.verdict()->status, VerdictStatus::Fail);
}

TEST(QcVerdict, JunitIsWellFormedUtf8WhateverThePathHolds) {
    RunInfo info = everyIndicator(25);
    info.mask = 1u << indexOf("blackout");
    info.path = "clip\xFF\xFE<&>.y4m";  // a name of Latin-1 bytes, and markup
    RunRecord record;
    feed(record, info, {});
    QcGate gate;
    gate.add("black>=0");
    record.setGate(&gate);
    const std::string xml = junitXml(record, record.verdict());
    EXPECT_EQ(xml.find('\xFF'), std::string::npos);
    EXPECT_NE(xml.find("name=\"clip\xEF\xBF\xBD\xEF\xBF\xBD&lt;&amp;&gt;.y4m\""), std::string::npos) << xml;
    EXPECT_EQ(validUtf8("\xC3\xA9t\xC3"), "\xC3\xA9t\xEF\xBF\xBD");
}

TEST(QcVerdict, AProfileJudgesEventsAndAShortRunFails) {
    RunRecord record = sampleRun();
    QcGate gate;
    gate.setProfile("broadcast", "2");
    record.setGate(&gate);
    const Verdict v = *record.verdict();
    EXPECT_EQ(v.status, VerdictStatus::Warn);  // black events of the default severity
    EXPECT_EQ(v.profile, "broadcast");
    ASSERT_EQ(v.findings.size(), 1u);
    EXPECT_EQ(findingText(v.findings[0]), "black events (black.count = 2)");
    // Fewer frames than the run set out to measure fail it, naming the shortfall.
    const Verdict shortRun = gate.verdict(record, FrameCounts{60, 50});
    EXPECT_EQ(shortRun.status, VerdictStatus::Fail);
    EXPECT_EQ(shortRun.findings.back().text, "measured 50 of 60 frames");
    EXPECT_EQ(gate.verdict(record, FrameCounts{50, 49}).findings.back().text, "measured 49 of 50 frames");
    EXPECT_EQ(gate.verdict(record, FrameCounts{50, 50}).status, VerdictStatus::Warn);  // equal: not short
    EXPECT_EQ((FrameCounts{std::nullopt, 0}.shortfall()), "measured 0 frames");
    EXPECT_EQ((FrameCounts{0, 0}.shortfall()), "measured 0 frames");
    EXPECT_EQ((FrameCounts{std::nullopt, 3}.shortfall()), "");
}

}  // namespace
