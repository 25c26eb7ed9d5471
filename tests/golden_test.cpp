// Golden runs of the real binary: console text and log file, byte for byte, on a
// clip whose defects make every report column take several values.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kGoldenDir = FRAMEPROBE_GOLDEN_DIR;

// 40 frames, each stretch carrying one defect; flicker runs under the first 28.
const std::vector<std::string> kClipArgs{"clip.yuv", "352", "288", "40",
    "blocky:0-3", "blur:4-7", "noise:8-11", "interlace:12-15", "lostblocks:16-19", "letterbox:20-23",
    "pillarbox:24-27", "freeze:28-32", "black:33-34", "flicker:0-27"};

struct GoldenRun {
    const char* name;
    std::vector<std::string> args;
};

const std::vector<GoldenRun> kRuns{
    {"all", {"clip.yuv", "352", "288"}},
    {"partial_mask", {"clip.yuv", "352", "288", "0x4955", "30"}},
    {"start_frame", {"clip.yuv", "352", "288", "0x7fff", "25", "12", "26"}},
    {"past_end", {"clip.yuv", "352", "288", "0x7fff", "25", "8", "37"}},
    // The clip cut in the middle of frame 10's luma plane.
    {"short_read", {"short.yuv", "352", "288", "0x7fff", "25", "6", "7"}},
};

class GoldenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        const ProcessResult made = runProcess(FRAMEPROBE_SAMPLE_BINARY, kClipArgs, dir->path);
        ASSERT_EQ(made.status, 0) << made.out;
        const std::string clip = readFile(dir->path / "clip.yuv");
        writeFile(dir->path / "short.yuv", clip.substr(0, 10 * 152064 + 50000));
    }
    static void TearDownTestSuite() { delete dir; }
    static TempDir* dir;
};

TempDir* GoldenTest::dir = nullptr;

// Set FRAMEPROBE_UPDATE_GOLDEN=1 to rewrite the expected files after a deliberate change.
void compareOrUpdate(const fs::path& expectedPath, const std::string& actual) {
    if (std::getenv("FRAMEPROBE_UPDATE_GOLDEN") != nullptr) writeFile(expectedPath, actual);
    ASSERT_TRUE(fs::exists(expectedPath)) << expectedPath;
    EXPECT_EQ(readFile(expectedPath), actual) << expectedPath;
}

TEST_F(GoldenTest, ConsoleAndLogMatchForEveryThreadCountAndWindow) {
    const std::vector<std::vector<std::string>> settings{
        {"FRAMEPROBE_THREADS=1"}, {"FRAMEPROBE_THREADS=2"}, {"FRAMEPROBE_THREADS=3"}, {"FRAMEPROBE_THREADS=8"},
        {"FRAMEPROBE_THREADS=2", "FRAMEPROBE_WINDOW=1"}, {"FRAMEPROBE_THREADS=3", "FRAMEPROBE_WINDOW=5"},
        {"FRAMEPROBE_THREADS=8", "FRAMEPROBE_WINDOW=64"}, {"FRAMEPROBE_THREADS=2", "FRAMEPROBE_CPU=plain"},
        {"FRAMEPROBE_THREADS=2", "FRAMEPROBE_CPU=avx2"}};
    for (const GoldenRun& run : kRuns) {
        for (const auto& env : settings) {
            SCOPED_TRACE(std::string(run.name) + " with " + env.front() + " " + env.back());
            const ProcessResult r = runProcess(FRAMEPROBE_BINARY, run.args, dir->path, env);
            EXPECT_EQ(r.status, 0);
            compareOrUpdate(kGoldenDir / (std::string(run.name) + ".console"), r.out);
            compareOrUpdate(kGoldenDir / (std::string(run.name) + ".log"),
                            readFile(dir->path / "metricsResultsCSV.csv"));
        }
    }
}

// The fixture is only worth something if a swap of any two columns shows.
TEST_F(GoldenTest, EveryColumnOfTheFullRunTakesSeveralValues) {
    std::istringstream log(readFile(kGoldenDir / "all.log"));
    std::string line;
    std::getline(log, line);
    std::vector<std::set<std::string>> columns(16);
    int rowCount = 0;
    while (std::getline(log, line)) {
        std::istringstream fields(line);
        std::string f;
        for (size_t c = 0; fields >> f && c < columns.size(); ++c) columns[c].insert(f);
        ++rowCount;
    }
    EXPECT_EQ(rowCount, 40);
    for (size_t c = 0; c < columns.size(); ++c) EXPECT_GE(columns[c].size(), 2u) << "column " << c;
}

}  // namespace
