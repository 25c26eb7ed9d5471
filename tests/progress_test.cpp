// The progress line: its text, and a display that forwards rows and erases itself.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "output/progress.h"
#include "sink_capture.h"

namespace {

TEST(ProgressText, DoneTotalSpeedAndTimeLeft) {
    EXPECT_EQ(progressText(1200, 5000, 25.0), "1200 / 5000 frames  48.0 fps  ETA 1:19");
    EXPECT_EQ(progressText(1200, std::nullopt, 25.0), "1200 frames  48.0 fps");
    EXPECT_EQ(progressText(10, 36620, 1.0), "10 / 36620 frames  10.0 fps  ETA 1:01:01");
    EXPECT_EQ(progressText(0, 100, 0.0), "0 / 100 frames");
    // More frames than announced: no time left to tell.
    EXPECT_EQ(progressText(120, 100, 1.0), "120 / 100 frames  120.0 fps");
}

struct CountingSink final : RowSink {
    int begins = 0, rows = 0, ends = 0;
    void begin(const RunInfo&) override { ++begins; }
    void row(int64_t, const Results&) override { ++rows; }
    void end(const RunEnd&) override { ++ends; }
};

TEST(ProgressSink, ForwardsEveryCallAndLeavesNoTrace) {
    Capture display;
    CountingSink inner;
    ProgressSink progress(inner, display.stream());
    progress.begin(everyIndicator());
    progress.row(0, Results{});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    progress.row(1, Results{});
    const std::string shown = display.text();
    EXPECT_EQ(shown.substr(0, 9), "\r2 / 10 f") << shown;
    progress.end(RunEnd{});
    EXPECT_EQ(inner.begins, 1);
    EXPECT_EQ(inner.rows, 2);
    EXPECT_EQ(inner.ends, 1);
    // The line is overwritten by spaces and the cursor is back at its start.
    const std::string all = display.text();
    const std::string erased = all.substr(shown.size());
    std::string blank(shown.size() + 1, ' ');
    blank.front() = blank.back() = '\r';
    EXPECT_EQ(erased, blank);
}

}  // namespace
