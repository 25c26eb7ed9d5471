// Runs of the real binary in the option form: the same rows as the positional
// form for every kind of input, exact segments, and clear refusals.
#include <gtest/gtest.h>

#include <sstream>

#include "ffmpeg_fixtures.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

// Report rows only: the lines that start with a frame number.
std::string rowsOf(const std::string& text) {
    std::istringstream in(text);
    std::string rows;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) rows += line + "\n";
    return rows;
}

class OptionFormTest : public ::testing::Test {
protected:
    TempDir dir;

    void makeClip(const std::string& name, int w, int h, int frames, const std::vector<std::string>& defects) {
        std::vector<std::string> args{name, std::to_string(w), std::to_string(h), std::to_string(frames)};
        args.insert(args.end(), defects.begin(), defects.end());
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, args, dir.path).status, 0);
    }
    ProcessResult probe(const std::vector<std::string>& args) { return runProcess(FRAMEPROBE_BINARY, args, dir.path); }
    ProcessResult shell(const std::string& command) {
        return runProcess("/bin/sh", {"-c", command}, dir.path, {std::string("PROBE=") + FRAMEPROBE_BINARY});
    }
    std::string log() const { return readFile(dir.path / "metricsResultsCSV.csv"); }
};

const std::vector<std::string> kDefects{"freeze:3-9", "black:12-13", "noise:14-15", "flicker:0-11"};

TEST_F(OptionFormTest, SizeOptionGivesThePositionalBytes) {
    makeClip("clip.yuv", 352, 288, 18, kDefects);
    const ProcessResult positional = probe({"clip.yuv", "352", "288", "0x7fff", "30", "12", "3"});
    const std::string positionalLog = log();
    const ProcessResult options =
        probe({"-s", "352x288", "--indicators", "all", "--fps", "30", "--frames", "12", "--start", "3", "clip.yuv"});
    EXPECT_EQ(options.status, 0) << options.err;
    EXPECT_EQ(options.out, positional.out);
    EXPECT_EQ(log(), positionalLog);
    // Positional values after the input, beside options.
    EXPECT_EQ(probe({"--threads", "2", "clip.yuv", "352", "288", "0x7fff", "30", "12", "3"}).out, positional.out);
}

TEST_F(OptionFormTest, EveryKindOfInputGivesTheSameRows) {
    makeClip("clip.yuv", 352, 288, 16, kDefects);
    makeClip("clip.y4m", 352, 288, 16, kDefects);
    const std::string expected = rowsOf(probe({"clip.yuv", "352", "288"}).out);
    ASSERT_EQ(std::count(expected.begin(), expected.end(), '\n'), 16);
    EXPECT_EQ(rowsOf(probe({"clip.y4m"}).out), expected);
    EXPECT_EQ(rowsOf(probe({"clip.y4m", "352", "288"}).out), expected);  // positional form, sizes checked
    EXPECT_EQ(rowsOf(shell("$PROBE - < clip.y4m").out), expected);
    EXPECT_EQ(rowsOf(shell("cat clip.y4m | $PROBE -").out), expected);
    EXPECT_EQ(rowsOf(shell("cat clip.yuv | $PROBE -s 352x288 -").out), expected);
    // A pipe read from a start frame skips by reading.
    const std::string tail = rowsOf(probe({"clip.yuv", "352", "288", "0x7fff", "25", "6", "10"}).out);
    EXPECT_EQ(rowsOf(shell("cat clip.yuv | $PROBE -s 352x288 --start 10 -").out), tail);
    EXPECT_EQ(rowsOf(shell("cat clip.y4m | $PROBE --start 10 -").out), tail);
    SKIP_WITHOUT_FFMPEG();
    ASSERT_TRUE(runFfmpeg(dir.path, {"-f", "rawvideo", "-pix_fmt", "yuv420p", "-s", "352x288", "-r", "25", "-i",
                                     "clip.yuv", "-c:v", "ffv1", "clip.mkv"}));
    EXPECT_EQ(rowsOf(probe({"clip.mkv"}).out), expected);
    EXPECT_EQ(rowsOf(shell("ffmpeg -loglevel error -i clip.mkv -f yuv4mpegpipe - | $PROBE -").out), expected);
}

TEST_F(OptionFormTest, SegmentsGiveTheRowsOfTheWholeRun) {
    makeClip("clip.yuv", 64, 64, 48, {"freeze:5-20", "black:30-31", "freeze:33-45", "flicker:0-40"});
    for (const char* fps : {"25", "7", "60"}) {
        const std::string whole = rowsOf(probe({"-s", "64x64", "--fps", fps, "--no-log", "clip.yuv"}).out);
        std::vector<std::string> lines;
        std::istringstream in(whole);
        for (std::string line; std::getline(in, line);) lines.push_back(line + "\n");
        ASSERT_EQ(lines.size(), 48u);
        for (int start = 1; start <= 40; start += 3) {
            SCOPED_TRACE(std::string("fps ") + fps + ", start " + std::to_string(start));
            const std::string segment = rowsOf(probe({"-s", "64x64", "--fps", fps, "--no-log", "--origin", "0",
                                                      "--start", std::to_string(start), "--frames", "8", "clip.yuv"})
                                                   .out);
            std::string expected;
            for (int i = start; i < start + 8; ++i) expected += lines[static_cast<std::size_t>(i)];
            EXPECT_EQ(segment, expected);
        }
    }
}

TEST_F(OptionFormTest, VersionNamesTheKernelsTheEnvironmentLowersTo) {
    auto kernels = [&](const std::string& cpu) {
        const ProcessResult r = runProcess(FRAMEPROBE_BINARY, {"--version"}, dir.path, {"FRAMEPROBE_CPU=" + cpu});
        EXPECT_EQ(r.status, 0);
        const std::size_t at = r.out.find("kernels: ");
        return at == std::string::npos ? r.out : r.out.substr(at);
    };
    EXPECT_EQ(kernels("plain"), "kernels: plain\n");
    const std::string capped = kernels("avx2");
    EXPECT_TRUE(capped == "kernels: avx2\n" || capped == "kernels: plain\n") << capped;
}

TEST_F(OptionFormTest, IndicatorNamesAddWhatTheyNeed) {
    makeClip("clip.yuv", 64, 48, 6, {"freeze:1-5"});
    const std::string byName = probe({"-s", "64x48", "--indicators", "freezing,blur", "clip.yuv"}).out;
    // Freezing needs temporal activity, and in the option form it always has blackout.
    EXPECT_EQ(byName, probe({"clip.yuv", "64", "48", "0x1E0"}).out);
    EXPECT_EQ(probe({"-s", "64x48", "--indicators", "0x120", "clip.yuv"}).out, byName);
}

TEST_F(OptionFormTest, RefusalsSayWhatIsWrong) {
    makeClip("clip.yuv", 64, 48, 2, {});
    makeClip("clip.y4m", 64, 48, 2, {});
    writeFile(dir.path / "metricsResultsCSV.csv", "kept");
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"clip.yuv"}, 1, "needs a width and a height"},
        {{"-s", "64x40", "clip.y4m"}, 1, "does not match"},
        {{"--bogus", "clip.yuv"}, 2, "--bogus"},
        {{"-s", "64", "clip.yuv"}, 2, "invalid size \"64\""},
        {{"-s", "64x48", "--frames", "-1", "clip.yuv"}, 2, "invalid frame count"},
        {{"-s", "64x48", "--fps", "0", "clip.yuv"}, 2, "invalid frame rate"},
        {{"-s", "64x48", "--indicators", "blur,sharpness", "clip.yuv"}, 2, "unknown indicator \"sharpness\""},
        {{"-s", "64x48", "--format", "xml", "clip.yuv"}, 2, "unknown format"},
        {{"-s", "64x48", "--start", "3", "--origin", "4", "clip.yuv"}, 2, "invalid origin"},
        {{"--flash-area", "1.01", "clip.y4m"}, 2, "invalid --flash-area \"1.01\""},
        {{"--display-black", "200", "clip.y4m"}, 2, "--display-black below --display-white"},
        {{"--decoder-threads", "1025", "clip.y4m"}, 2, "invalid decoder thread count"},
        {{"missing.y4m"}, 1, "missing.y4m"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = probe(c.args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(rowsOf(r.out), "");
    }
    EXPECT_EQ(log(), "kept");  // refused before any output was opened
    // What the environment sets wrong is said where the other refusals are, not among the rows.
    const ProcessResult threads =
        runProcess(FRAMEPROBE_BINARY, {"-q", "--format", "csv", "clip.y4m"}, dir.path, {"FRAMEPROBE_THREADS=0"});
    EXPECT_EQ(threads.status, 2);
    EXPECT_EQ(threads.out, "");
    EXPECT_EQ(threads.err, "frameprobe: Invalid FRAMEPROBE_THREADS \"0\": expected a whole number from 1 to 1024\n");
}

TEST_F(OptionFormTest, EmptyNonFiniteAndNegativeValuesAreRefusedWithTheirRange) {
    makeClip("clip.yuv", 64, 48, 2, {});
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--flicker-threshold", "nan"}, "invalid flicker threshold \"nan\": expected a finite number, 0 or more"},
        {{"--flicker-threshold", "1e999"}, "invalid flicker threshold"},
        {{"--flicker-threshold", "-0.5"}, "invalid flicker threshold"},
        {{"--black-min-duration", "inf"}, "\"inf\": expected a finite number of seconds, 0 or more"},
        {{"--freeze-min-duration", "nan"}, "invalid --freeze-min-duration"},
        {{"--stream", "-1"}, "invalid stream \"-1\""},
        {{"--fps", "inf"}, "invalid frame rate"},
        // A tenth of this rate is no longer a number: every frame would count as frozen.
        {{"--fps", "4.9e-324"}, "expected a number from 1e-290 to 1000000000"},
        {{"--fps", "9.9e-291"}, "invalid frame rate"},
        {{"--run-frames", "-1"}, "invalid whole-run frame count"},
    };
    std::vector<std::pair<std::vector<std::string>, std::string>> all = cases;
    for (const char* option : {"--stream", "--black-min-duration", "--flicker-threshold", "--frames", "--fps",
                               "--indicators", "--log", "--output"})
        all.push_back({{option, ""}, std::string("an empty value for ") + option});
    for (const auto& [values, message] : all) {
        std::vector<std::string> args{"-s", "64x48", "--no-log", "-q"};
        args.insert(args.end(), values.begin(), values.end());
        args.push_back("clip.yuv");
        const ProcessResult r = probe(args);
        SCOPED_TRACE(values[0] + " '" + values[1] + "'");
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("179769"), std::string::npos) << r.err;  // ranges read as people write them
        EXPECT_EQ(rowsOf(r.out), "");
    }
    EXPECT_EQ(probe({"-s", "64x48", "--no-log", "-q", "--fps", "1e-290", "clip.yuv"}).status, 0);
}

TEST_F(OptionFormTest, EachFailOnTakesOneExpression) {
    makeClip("clip.yuv", 64, 48, 4, {"black:1-2"});
    const ProcessResult r = probe(
        {"--no-log", "-q", "-s", "64x48", "--fail-on", "freeze>5", "--fail-on", "black>0", "clip.yuv", "--summary"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("QC failed: black>0"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Events:"), std::string::npos) << r.err;  // --summary after the input still counts
    EXPECT_EQ(rowsOf(r.out).size(), rowsOf(probe({"clip.yuv", "64", "48"}).out).size());
}

TEST_F(OptionFormTest, HelpShowsNumbersAndExitStatusesAndUsagePointsAtIt) {
    const ProcessResult help = probe({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* text : {"--fps FLOAT", "--frames UINT", "--start UINT", "--stream UINT", "--threads UINT",
                             "--flicker-threshold FLOAT", "--black-min-duration FLOAT", "Exit status: 0",
                             "2 for a\ncommand line", "3 when a --fail-on", "130 or 143"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
    const ProcessResult bare = probe({});
    EXPECT_EQ(bare.status, 255);
    EXPECT_EQ(bare.out.rfind("Not enough parameters\n\nUsage: ", 0), 0u);
    EXPECT_EQ(bare.err, "Run 'frameprobe --help' for the options.\n");
}

TEST_F(OptionFormTest, PositionalFormReadsStandardInputNamedByADash) {
    makeClip("clip.yuv", 64, 48, 5, kDefects);
    const ProcessResult piped = shell("cat clip.yuv | \"$PROBE\" - 64 48 0x7FFF");
    EXPECT_EQ(piped.status, 0) << piped.err;
    const std::string pipedLog = log();
    const std::string rows = rowsOf(probe({"clip.yuv", "64", "48", "0x7FFF"}).out);
    ASSERT_NE(rows, "");
    EXPECT_EQ(rowsOf(piped.out), rows);
    EXPECT_EQ(rowsOf(pipedLog), rowsOf(log()));
    // The report names the input as people say it.
    const ProcessResult report = shell("cat clip.yuv | \"$PROBE\" -s 64x48 -q --no-log --format csv --report r.html -");
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_NE(readFile(dir.path / "r.html").find("<h1>frameprobe report: standard input</h1>"), std::string::npos);
}

}  // namespace

TEST_F(OptionFormTest, PositionalValuesBeyond32BitsAreRefusedFromStandardInputAndY4m) {
    makeClip("clip.yuv", 64, 48, 2, {});
    makeClip("clip.y4m", 64, 48, 2, {});
    const struct {
        const char* values;
        const char* message;
    } cases[] = {
        {"4294967360 48", "Invalid WIDTH 4294967360: the value does not fit 32 bits\n"},
        {"64 4294967344", "Invalid HEIGHT 4294967344: the value does not fit 32 bits\n"},
        {"64 48 0x100000020", "Invalid RequestedVQIs 0x100000020: the value does not fit 32 bits\n"},
        {"64 48 0x20 25 4294967297", "Invalid NumberOfFrames 4294967297: the value does not fit 32 bits\n"},
        {"64 48 0x20 25 2 4294967296", "Invalid startFrame 4294967296: the value does not fit 32 bits\n"},
    };
    for (const auto& c : cases) {
        for (const std::string input : {"- < clip.yuv", "clip.y4m"}) {
            const std::string command = "\"$PROBE\" " + input + " " + c.values;
            const ProcessResult r = shell(command);
            EXPECT_EQ(r.status, 255) << command;
            EXPECT_EQ(r.out, c.message) << command;
        }
    }
}

TEST_F(OptionFormTest, PositionalFormFailsWithItsOwnStatusFromStandardInputAndY4m) {
    makeClip("clip.y4m", 64, 48, 2, {});
    makeClip("metricsResultsCSV.csv", 64, 48, 2, {});
    for (const char* command : {"\"$PROBE\" clip.y4m 32 48", "\"$PROBE\" - 64 48 < clip.y4m > /dev/full",
                                "\"$PROBE\" metricsResultsCSV.csv 64 48", "\"$PROBE\" - 64 48 < metricsResultsCSV.csv",
                                "FRAMEPROBE_THREADS=0 \"$PROBE\" clip.y4m 64 48"}) {
        const ProcessResult r = shell(command);
        EXPECT_EQ(r.status, 255) << command << "\n" << r.err;
        EXPECT_NE(r.out + r.err, "") << command;  // with a message saying what was wrong
    }
}
