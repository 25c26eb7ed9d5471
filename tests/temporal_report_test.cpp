// Runs of the real binary on generated clips, reading the temporal columns.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// The whitespace-separated fields of every report row on standard output.
std::vector<std::vector<std::string>> reportRows(const std::string& out) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.size() < 6 || line.find_first_not_of("0123456789") != 5) continue;
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string f; fields >> f;) row.push_back(f);
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::vector<std::string>> runOnClip(const std::vector<std::string>& sampleArgs, const std::string& mask,
                                                int frames) {
    TempDir dir;
    std::vector<std::string> args{"clip.yuv", "352", "288", std::to_string(frames)};
    args.insert(args.end(), sampleArgs.begin(), sampleArgs.end());
    const ProcessResult made = runProcess(FRAMEPROBE_SAMPLE_BINARY, args, dir.path);
    EXPECT_EQ(made.status, 0) << made.out;
    const ProcessResult run = runProcess(FRAMEPROBE_BINARY, {"clip.yuv", "352", "288", mask}, dir.path);
    EXPECT_EQ(run.status, 0) << run.out;
    return reportRows(run.out);
}

constexpr size_t kTemporalActivity = 7;
constexpr size_t kFreezing = 9;
constexpr size_t kFlickering = 15;

}  // namespace

TEST(TemporalReport, FreezingRisesOnThirdStillFrame) {
    const auto rows = runOnClip({"freeze:3-9"}, "0x140", 12);
    ASSERT_EQ(rows.size(), 12u);
    const std::vector<std::string> expected{"0", "0", "0", "0", "0", "0", "1", "1", "1", "1", "0", "0"};
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 16u);
        EXPECT_EQ(rows[i][kFreezing], expected[i]) << "row " << i + 1;
        EXPECT_EQ(rows[i][kTemporalActivity] == "0.00000", i == 0 || (i >= 4 && i <= 9)) << "row " << i + 1;
        EXPECT_EQ(rows[i][kFlickering], "0.00000");
    }
}

TEST(TemporalReport, FlickeringValueEveryEighthCall) {
    // A still picture in which one block changes on every frame: one switch
    // per period, among the 47 most switching blocks.
    const auto rows = runOnClip({"freeze:0-16", "flicker"}, "0x4000", 17);
    ASSERT_EQ(rows.size(), 17u);
    for (size_t i = 0; i < rows.size(); ++i) {
        ASSERT_EQ(rows[i].size(), 16u);
        const std::string expected = i == 0 ? "0.00000" : (i == 8 || i == 16) ? "0.00266" : "-1.00000";
        EXPECT_EQ(rows[i][kFlickering], expected) << "row " << i + 1;
        EXPECT_EQ(rows[i][kFreezing], "0");
    }
}
