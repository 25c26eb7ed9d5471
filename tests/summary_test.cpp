// Statistics of the run record, and the summary for people.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "indicators/registry.h"
#include "analysis/run_record.h"
#include "analysis/statistics.h"
#include "output/summary_text.h"
#include "sink_capture.h"

namespace {

std::vector<FrameValue> framesOf(std::initializer_list<double> values) {
    std::vector<FrameValue> out;
    int64_t frame = 0;
    for (double v : values) out.push_back({frame++, v});
    return out;
}

std::vector<int64_t> worstFrames(const Statistics& s) {
    std::vector<int64_t> frames;
    for (const FrameValue& w : s.worst) frames.push_back(w.frame);
    return frames;
}

TEST(Statistics, PercentilesInterpolateBetweenClosestRanks) {
    // Given out of order: 1 .. 11.
    const Statistics s = computeStatistics(framesOf({6, 1, 11, 2, 10, 3, 9, 4, 8, 5, 7}), Worse::Higher);
    EXPECT_EQ(s.count, 11);
    EXPECT_EQ(s.min, 1);
    EXPECT_EQ(s.max, 11);
    EXPECT_EQ(s.median, 6);
    EXPECT_DOUBLE_EQ(s.p5, 1.5);    // rank 0.5
    EXPECT_DOUBLE_EQ(s.p95, 10.5);  // rank 9.5
    const Statistics even = computeStatistics(framesOf({4, 1, 3, 2}), Worse::Higher);
    EXPECT_DOUBLE_EQ(even.median, 2.5);
    EXPECT_DOUBLE_EQ(even.p95, 3.85);
}

TEST(Statistics, MeanAndPopulationStdev) {
    const Statistics s = computeStatistics(framesOf({2, 4, 4, 4, 5, 5, 7, 9}), Worse::Higher);
    EXPECT_EQ(s.mean, 5);
    EXPECT_EQ(s.stdev, 2);
    const Statistics one = computeStatistics(framesOf({0.1}), Worse::Higher);
    EXPECT_EQ(one.stdev, 0);
    EXPECT_EQ(one.p5, 0.1);
    EXPECT_EQ(one.p95, 0.1);
}

TEST(Statistics, StdevOfLargeEqualishValuesDoesNotCancel) {
    const Statistics s = computeStatistics(framesOf({1e9 + 1, 1e9 + 2, 1e9 + 3}), Worse::Higher);
    EXPECT_NEAR(s.stdev, std::sqrt(2.0 / 3.0), 1e-6);
}

TEST(Statistics, ValuesNearTheLimitsOfDoubleStayFinite) {
    const double huge = std::numeric_limits<double>::max();
    const Statistics s = computeStatistics(framesOf({huge, -huge, huge, -huge}), Worse::Higher);
    EXPECT_EQ(s.mean, 0);
    EXPECT_EQ(s.stdev, huge);
    EXPECT_EQ(s.median, 0);
    const Statistics same = computeStatistics(framesOf({huge, huge}), Worse::Higher);
    EXPECT_EQ(same.mean, huge);
    EXPECT_EQ(same.stdev, 0);
}

TEST(Statistics, WorstFramesInTheWorseDirectionTiesByFrameOrder) {
    const auto values = framesOf({5, 9, 1, 9, 3, 9, 1, 7, 1});
    EXPECT_EQ(worstFrames(computeStatistics(values, Worse::Higher)), (std::vector<int64_t>{1, 3, 5, 7, 0}));
    EXPECT_EQ(worstFrames(computeStatistics(values, Worse::Lower)), (std::vector<int64_t>{2, 6, 8, 4, 0}));
    EXPECT_EQ(worstFrames(computeStatistics(framesOf({2, 1}), Worse::Lower)), (std::vector<int64_t>{1, 0}));
}

TEST(Statistics, EmptySetHasOnlyACount) {
    const Statistics s = computeStatistics({}, Worse::Higher);
    EXPECT_EQ(statistic(s, "count"), 0.0);
    for (std::string_view name : kStatisticNames)
        if (name != "count") {
            EXPECT_FALSE(statistic(s, name)) << name;
        }
    EXPECT_TRUE(s.worst.empty());
}

TEST(RunRecord, StatisticsOverFramesWithAValueOnly) {
    const int flickering = *findIndicator("flickering");
    const int blur = *findIndicator("blur");
    RunInfo info = everyIndicator();
    info.mask = 1u << flickering;
    RunRecord record;
    std::vector<CapturedRow> rows;
    for (int f = 0; f < 20; ++f) {
        Results r;
        r.set(flickering, f % 8 == 7 ? f : -1.0);
        r.set(blur, 1);  // written but not requested
        rows.push_back({100 + f, r});
    }
    feed(record, info, rows);
    const Statistics s = record.statistics(flickering);
    EXPECT_EQ(s.count, 2);
    EXPECT_EQ(s.min, 7);
    EXPECT_EQ(s.max, 15);
    EXPECT_EQ(s.worst.front().frame, 115);
    EXPECT_EQ(record.statistics(blur).count, 0);
    EXPECT_EQ(record.frames(), 20);
}

TEST(RunRecord, WithoutRowsKeepsTheCountAndEventsOnly) {
    const int blackout = *findIndicator("blackout");
    RunInfo info = everyIndicator();
    info.mask = 1u << blackout;
    RunRecord record;
    record.keepRows(false);
    std::vector<CapturedRow> rows;
    for (int f = 0; f < 50; ++f) {
        Results r;
        r.set(blackout, f >= 10 && f < 20 ? 1 : 0);
        rows.push_back({f, r});
    }
    feed(record, info, rows);
    EXPECT_EQ(record.frames(), 50);
    ASSERT_EQ(record.events().size(), 1u);
    EXPECT_EQ(record.events().front().startFrame, 10);
    EXPECT_EQ(record.statistics(blackout).count, 0);
}

TEST(SummaryText, ListsRequestedIndicatorsAndEvents) {
    const int blackout = *findIndicator("blackout");
    const int blur = *findIndicator("blur");
    RunInfo info = everyIndicator();
    info.mask = 1u << blackout | 1u << blur;
    RunRecord record;
    std::vector<CapturedRow> rows;
    for (int f = 0; f < 50; ++f) {
        Results r;
        r.set(blackout, f >= 25 ? 1 : 0);
        r.set(blur, f == 30 ? 9.5 : 1);
        rows.push_back({f, r});
    }
    feed(record, info, rows);
    const std::string text = summaryText(record);
    EXPECT_NE(text.find("Summary of 50 frames"), std::string::npos) << text;
    EXPECT_NE(text.find("9.5"), std::string::npos) << text;
    EXPECT_NE(text.find("black      frames 25-49, 1 s to 2 s (1 s)"), std::string::npos) << text;
    EXPECT_EQ(text.find("noise"), std::string::npos) << text;
}

}  // namespace
