// Runs the real frameprobe binary on generated files in temporary directories.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "sample/sample_video.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string kConsoleHeader =
    "Frame: \tBlockiness: \tSpatial Activity: \tLetterbox: \tPillarbox: \tBlockloss: \tBlur: \t\tTemporalAct: "
    "\tBlackout: \tFreezing: \tExposure(bri): \tContrast: \tInterlace: \tNoise: \t\tSlice: \t\tFlickering:\n";
const std::string kLogHeader =
    "Frame: \tBlockiness: \tSA: \tLetterbox: \tPillarbox: \tBlockloss: \tBlur: \tTA: \tBlackout: \tFreezing: "
    "\tExposure(bri): \tContrast: \tInterlace: \tNoise: \tSlice: \tFlickering:\n";
const std::string kZeroConsoleRowTail =
    " \t0.00000 \t0.00000 \t\t0.00000 \t0.00000 \t0.00000 \t0.000   \t0.00000 \t0 \t\t0 \t\t0      \t\t0.00000 "
    "\t0.00000 \t0.00     \t0.000   \t0.00000\n";
const std::string kZeroLogRowTail =
    " \t0.00000 \t0.00000 \t0.00000 \t0.00000 \t0.00000 \t0.000 \t0.00000 \t0 \t0 \t0      \t0.00000 \t0.00000 "
    "\t0.0000   \t0.000   \t0.00000\n";

class DriverTest : public ::testing::Test {
protected:
    TempDir dir;

    fs::path makeClip(const std::string& name, int w, int h, int frames, std::vector<SampleDefect> defects = {}) {
        SampleSpec spec;
        spec.width = w;
        spec.height = h;
        spec.frames = frames;
        spec.defects = std::move(defects);
        const fs::path path = dir.path / name;
        EXPECT_TRUE(writeSampleVideo(spec, path.string()));
        return path;
    }

    ProcessResult probe(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) {
        return runProcess(FRAMEPROBE_BINARY, args, dir.path, env);
    }

    std::string log() const { return readFile(dir.path / "metricsResultsCSV.csv"); }
};

// Report rows of an output: the lines that start with a frame number.
std::vector<std::string> rows(const std::string& text) {
    std::vector<std::string> found;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) found.push_back(line + "\n");
    return found;
}

// Tab-separated field `column` of a row, without its padding.
std::string field(const std::string& row, int column) {
    std::vector<std::string> fields;
    std::istringstream in(row);
    for (std::string f; std::getline(in, f, '\t');) {
        f.erase(0, f.find_first_not_of(' '));
        f.erase(f.find_last_not_of(" \n") + 1);
        if (!f.empty()) fields.push_back(f);
    }
    return column < static_cast<int>(fields.size()) ? fields[column] : "";
}

TEST_F(DriverTest, TooFewParametersPrintsUsage) {
    const ProcessResult r = probe({"clip.yuv", "352"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "Not enough parameters\n\nUsage: " + std::string(FRAMEPROBE_BINARY) +
                         " nameOfTheMovie.yuv WIDTH HEIGHT [RequestedVQIs] [FPS] [NumberOfFrames] [startFrame],\n"
                         "where parameters in square brackets are optional.\n\n");
    EXPECT_FALSE(fs::exists(dir.path / "metricsResultsCSV.csv"));
}

TEST_F(DriverTest, MissingVideoReportsSystemErrorAndLeavesEmptyLog) {
    writeFile(dir.path / "metricsResultsCSV.csv", "old content");
    const ProcessResult r = probe({"missing.yuv", "352", "288"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Error opening file.\n\n: No such file or directory\n");
    EXPECT_TRUE(fs::exists(dir.path / "metricsResultsCSV.csv"));
    EXPECT_EQ(log(), "");
}

TEST_F(DriverTest, BannerHeadersAndRowsByteForByte) {
    makeClip("clip.yuv", 352, 288, 2);
    const ProcessResult r = probe({"clip.yuv", "352", "288", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Video file clip.yuv opened successfully!\n\n"
                     "Width = 352, Height = 288, FPS = 25.00, Number of Frames = 2, Start Frame = 0\n\n" +
                         kConsoleHeader + "00000" + kZeroConsoleRowTail + "00001" + kZeroConsoleRowTail +
                         "\nFile stream closed\n\n");
    EXPECT_EQ(kLogHeader.size(), 163u);
    EXPECT_EQ(log(), kLogHeader + "00000" + kZeroLogRowTail + "00001" + kZeroLogRowTail);
}

TEST_F(DriverTest, FrameCountIgnoresTrailingPartialFrame) {
    const fs::path clip = makeClip("clip.yuv", 352, 288, 10);
    EXPECT_NE(probe({"clip.yuv", "352", "288"}).out.find("Number of Frames = 10, Start Frame = 0"),
              std::string::npos);
    writeFile(clip, readFile(clip) + std::string(352 * 288 * 3 / 4, '\x10'));
    const ProcessResult r = probe({"clip.yuv", "352", "288"});
    EXPECT_NE(r.out.find("FPS = 25.00, Number of Frames = 10, Start Frame = 0"), std::string::npos);
    EXPECT_EQ(rows(r.out).size(), 10u);
}

TEST_F(DriverTest, MaskIsReadInAnyBase) {
    makeClip("clip.yuv", 64, 48, 3);
    const ProcessResult decimal = probe({"clip.yuv", "64", "48", "64"});
    EXPECT_EQ(decimal.status, 0);
    EXPECT_EQ(probe({"clip.yuv", "64", "48", "0x40"}).out, decimal.out);
    EXPECT_EQ(probe({"clip.yuv", "64", "48", "0100"}).out, decimal.out);
    // Temporal activity alone: only its column moves, from the second row on.
    const auto lines = rows(decimal.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "00000" + kZeroConsoleRowTail);
    EXPECT_NE(field(lines[1], 7), "0.00000");
}

TEST_F(DriverTest, EmptyOrNegativeRangeEndsNormally) {
    makeClip("clip.yuv", 64, 48, 3);
    for (const char* count : {"0", "-4"}) {
        const ProcessResult r = probe({"clip.yuv", "64", "48", "0", "25", count});
        EXPECT_EQ(r.status, 0) << count;
        EXPECT_TRUE(rows(r.out).empty()) << count;
        EXPECT_NE(r.out.find("Number of Frames = " + std::string(count)), std::string::npos);
        EXPECT_TRUE(r.out.ends_with("\nFile stream closed\n\n"));
        EXPECT_EQ(log(), kLogHeader);
    }
}

TEST_F(DriverTest, FrameRateIsPrintedWithTwoDecimals) {
    makeClip("clip.yuv", 64, 48, 1);
    EXPECT_NE(probe({"clip.yuv", "64", "48", "0", "29.97"}).out.find("FPS = 29.97,"), std::string::npos);
    EXPECT_NE(probe({"clip.yuv", "64", "48", "0", "fast"}).out.find("FPS = 0.00,"), std::string::npos);
}

TEST_F(DriverTest, StartFrameNumbersRowsAndDelaysTemporalColumns) {
    makeClip("clip.yuv", 64, 48, 8);
    const ProcessResult r = probe({"clip.yuv", "64", "48", "0x40", "25", "3", "5", "ignored", "also"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Number of Frames = 3, Start Frame = 5"), std::string::npos);
    const auto lines = rows(r.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "00005" + kZeroConsoleRowTail);
    EXPECT_EQ(lines[1].substr(0, 5), "00006");
    EXPECT_NE(field(lines[1], 7), "0.00000");
}

TEST_F(DriverTest, RangePastTheEndMeasuresShortReads) {
    makeClip("clip.yuv", 64, 48, 2);
    const ProcessResult r = probe({"clip.yuv", "64", "48", "0x40", "25", "5"});
    EXPECT_EQ(r.status, 0);
    const auto lines = rows(r.out);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[4].substr(0, 5), "00004");
    // Past the end each buffer keeps the frame two places back: frames 0 and 1
    // alternate, so the change between them repeats on every row.
    EXPECT_NE(field(lines[1], 7), "0.00000");
    EXPECT_EQ(field(lines[2], 7), field(lines[1], 7));
    EXPECT_EQ(field(lines[4], 7), field(lines[1], 7));
    // A range that starts past the end measures zero-filled buffers.
    const ProcessResult beyond = probe({"clip.yuv", "64", "48", "0x40", "25", "2", "10"});
    EXPECT_EQ(beyond.status, 0);
    EXPECT_EQ(rows(beyond.out)[1], "00011" + kZeroConsoleRowTail);
}

TEST_F(DriverTest, LogThatCannotBeCreatedLeavesConsoleRows) {
    makeClip("clip.yuv", 64, 48, 2);
    fs::create_directory(dir.path / "metricsResultsCSV.csv");
    const ProcessResult r = probe({"clip.yuv", "64", "48", "0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(kConsoleHeader + "\n\n Could not create a log file\n\n00000"), std::string::npos);
    EXPECT_EQ(rows(r.out).size(), 2u);
    EXPECT_TRUE(r.out.ends_with("\nFile stream closed\n\n"));
}

TEST_F(DriverTest, VideoThatIsTheLogIsRefusedAndKept) {
    const std::string clip = readFile(makeClip("metricsResultsCSV.csv", 64, 48, 2));
    for (const char* name : {"metricsResultsCSV.csv", "./metricsResultsCSV.csv"}) {
        const ProcessResult r = probe({name, "64", "48"});
        EXPECT_EQ(r.status, 255) << name;
        EXPECT_EQ(r.out, "the log metricsResultsCSV.csv is the input; it would be overwritten\n");
        EXPECT_EQ(log(), clip) << name;
    }
}

TEST_F(DriverTest, RefusesBadSizesAndStartFrame) {
    makeClip("clip.yuv", 64, 48, 2);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"clip.yuv", "0", "48"}, "Invalid WIDTH 0: the frame width must be at least 1\n"},
        {{"clip.yuv", "wide", "48"}, "Invalid WIDTH 0: the frame width must be at least 1\n"},
        {{"clip.yuv", "64", "-2"}, "Invalid HEIGHT -2: the frame height must be at least 1\n"},
        {{"clip.yuv", "40000", "40000"},
         "Invalid frame size 40000x40000: a frame of 2400000000 bytes exceeds 2147483647 bytes\n"},
        {{"clip.yuv", "64", "48", "0", "25", "1", "-1"},
         "Invalid startFrame -1: the first frame of the file is frame 0\n"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = probe(c.args);
        EXPECT_EQ(r.status, 255) << c.message;
        EXPECT_NE(r.out.find(c.message), std::string::npos) << r.out;
        EXPECT_TRUE(rows(r.out).empty());
        EXPECT_EQ(log(), "") << c.message;
    }
    // A bad size is refused before the missing video is noticed.
    EXPECT_EQ(probe({"missing.yuv", "0", "48"}).out, "Invalid WIDTH 0: the frame width must be at least 1\n");
}

TEST_F(DriverTest, ReadErrorStopsTheRun) {
    fs::create_directory(dir.path / "folder.yuv");
    const ProcessResult r = probe({"folder.yuv", "64", "48", "0", "25", "2"});
    EXPECT_EQ(r.status, 255);
    EXPECT_NE(r.out.find("Some error occurred when reading the 0 frame\nByte read = 0, Frame size = 3072\n\n"
                         "Error code: 21 \nError description: Is a directory \n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(log(), kLogHeader);
}

TEST_F(DriverTest, FreezingSeesTheBlackoutFlagOfTheSameFrame) {
    // Still from frame 2 on; frames 4 to 7 black (and still among themselves).
    makeClip("clip.yuv", 64, 48, 12, {{"freeze", 2, 11}, {"black", 4, 7}});
    auto freezingColumn = [&](const char* mask) {
        std::string flags;
        for (const std::string& row : rows(probe({"clip.yuv", "64", "48", mask}).out)) flags += field(row, 9);
        return flags;
    };
    EXPECT_EQ(freezingColumn("0x140"), "000000010001");  // black frames count as still
    EXPECT_EQ(freezingColumn("0x1C0"), "000000000001");  // black frames end the run
}

TEST_F(DriverTest, ThreadCountFromEnvironment) {
    makeClip("clip.yuv", 64, 48, 1);
    const ProcessResult bad = probe({"clip.yuv", "64", "48"}, {"FRAMEPROBE_THREADS=many"});
    EXPECT_EQ(bad.status, 255);
    EXPECT_EQ(bad.out, "Invalid FRAMEPROBE_THREADS \"many\": expected a whole number from 1 to 1024\n");
}

TEST_F(DriverTest, SameBytesWithOneThreadOrMany) {
    makeClip("clip.yuv", 352, 288, 18,
             {{"freeze", 3, 8}, {"black", 10, 11}, {"flicker"}, {"noise", 12, 14}, {"letterbox", 15, 17}});
    const ProcessResult one = probe({"clip.yuv", "352", "288"}, {"FRAMEPROBE_THREADS=1"});
    const std::string oneLog = log();
    const ProcessResult many = probe({"clip.yuv", "352", "288"}, {"FRAMEPROBE_THREADS=8"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(rows(one.out).size(), 18u);
    EXPECT_EQ(one.out, many.out);
    EXPECT_EQ(oneLog, log());
}

}  // namespace

TEST_F(DriverTest, SnapshotsAreWholePngFilesOfWorstFramesAndEventStarts) {
    makeClip("clip.yuv", 352, 288, 20, {{"black", 5, 9}, {"blur", 14, 14}});
    const ProcessResult r = probe({"-s", "352x288", "--indicators", "blur,blackout", "--format", "json", "-o",
                                   "out.json", "--snapshots", "shots", "clip.yuv"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path / "shots")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"frame-000005-black-start.png", "frame-000005-worst-blackout.png",
                                               "frame-000014-worst-blur.png"}));
    const std::string png = readFile(dir.path / "shots" / "frame-000014-worst-blur.png");
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(static_cast<unsigned char>(png[19]), 240);  // width 240 (big-endian), the report's size

    // A folder that cannot be made stops the run before its input is even opened.
    writeFile(dir.path / "taken", "a file");
    for (const char* folder : {"taken", "taken/sub"}) {
        const ProcessResult taken = probe({"-s", "352x288", "--snapshots", folder, "--no-log", "missing.yuv"});
        EXPECT_EQ(taken.status, 1);
        EXPECT_EQ(taken.err, std::string("frameprobe: cannot write ") + folder + ": Not a directory\n");
        EXPECT_EQ(taken.out, "");
    }
}
