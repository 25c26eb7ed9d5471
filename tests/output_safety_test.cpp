// Runs of the real binary whose outputs must survive every failure: an output
// that is the input or shares a file with another is refused before anything is
// opened; a file given by name is complete or absent, with an earlier file of
// that name untouched, whatever ends the run (a read error, signals, another run).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

class OutputSafetyTest : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"v.y4m", "64", "64", "20"}, dir.path).status, 0);
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"v.yuv", "64", "64", "20"}, dir.path).status, 0);
    }
    ProcessResult shell(const std::string& command) {
        return runProcess("/bin/sh", {"-c", command}, dir.path, {std::string("FP=") + FRAMEPROBE_BINARY});
    }
    // Files whose names start with a dot: temporary files left behind.
    std::vector<std::string> hiddenFiles() const {
        std::vector<std::string> found;
        for (const auto& entry : fs::directory_iterator(dir.path))
            if (entry.path().filename().string().front() == '.') found.push_back(entry.path().filename());
        return found;
    }
};

// A copy of the Y4M clip whose frame `broken` does not start with its FRAME line: a read error mid-run.
void writeBrokenClip(const fs::path& from, const fs::path& to, int broken = 10) {
    std::string bytes = readFile(from);
    std::size_t at = 0;
    for (int frame = 0; frame <= broken; ++frame) at = bytes.find("FRAME", at + 1);
    bytes.replace(at, 5, "XXXXX");
    writeFile(to, bytes);
}

TEST_F(OutputSafetyTest, AnOutputThatIsTheInputIsRefusedBeforeAnythingIsOpened) {
    const std::string y4m = readFile(dir.path / "v.y4m");
    const std::string yuv = readFile(dir.path / "v.yuv");
    fs::create_symlink("v.y4m", dir.path / "link.y4m");
    for (const char* command : {"\"$FP\" --format json -o v.y4m v.y4m", "\"$FP\" --log v.y4m v.y4m",
                                "\"$FP\" --report v.y4m v.y4m", "\"$FP\" -o ./v.y4m --format csv v.y4m",
                                "\"$FP\" -o link.y4m v.y4m", "\"$FP\" -o v.y4m link.y4m",
                                "\"$FP\" -o v.y4m - < v.y4m", "\"$FP\" -s 64x64 --format jsonl -o v.yuv v.yuv",
                                "\"$FP\" -s 64x64 --log v.yuv v.yuv", "\"$FP\" --report new.html new.html",
                                "\"$FP\" --junit v.y4m v.y4m", "\"$FP\" --format csv v.y4m >> v.y4m",
                                "\"$FP\" -s 64x64 - < v.yuv >> v.yuv"}) {
        SCOPED_TRACE(command);
        const ProcessResult r = shell(command);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("is the input; it would be overwritten"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(readFile(dir.path / "v.y4m"), y4m);
    EXPECT_EQ(readFile(dir.path / "v.yuv"), yuv);
    EXPECT_TRUE(fs::is_symlink(dir.path / "link.y4m"));
    EXPECT_FALSE(fs::exists(dir.path / "metricsResultsCSV.csv"));
}

TEST_F(OutputSafetyTest, APositionalRunDoesNotAppendItsTableToItsInput) {
    fs::rename(dir.path / "v.yuv", dir.path / "metricsResultsCSV.csv");
    const std::string yuv = readFile(dir.path / "metricsResultsCSV.csv");
    // The table appended to the video would be read back as frames.
    const ProcessResult appended = shell("\"$FP\" metricsResultsCSV.csv 64 64 >> metricsResultsCSV.csv");
    EXPECT_EQ(appended.status, 255);
    EXPECT_NE(appended.err.find("the table (standard output) is the input"), std::string::npos) << appended.err;
    EXPECT_EQ(readFile(dir.path / "metricsResultsCSV.csv"), yuv);
}

TEST_F(OutputSafetyTest, ALinkToAFileNotMadeYetLeadsToIt) {
    fs::create_directory(dir.path / "runs");
    fs::create_symlink("runs/today.json", dir.path / "latest.json");
    EXPECT_EQ(shell("\"$FP\" -q --format json -o latest.json v.y4m").status, 0);
    EXPECT_TRUE(fs::is_symlink(dir.path / "latest.json"));
    EXPECT_TRUE(fs::is_regular_file(dir.path / "runs/today.json"));
}

TEST_F(OutputSafetyTest, MergeRefusesAnOutputThatIsAPart) {
    ASSERT_EQ(shell("\"$FP\" -q --format jsonl --origin 0 --frames 10 -o a.jsonl v.y4m && "
                    "\"$FP\" -q --format jsonl --origin 0 --start 10 -o b.jsonl v.y4m").status, 0);
    const std::string part = readFile(dir.path / "a.jsonl");
    ProcessResult r = shell("\"$FP\" merge b.jsonl a.jsonl -o ./a.jsonl");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--output ./a.jsonl is the input"), std::string::npos) << r.err;
    r = shell("\"$FP\" merge b.jsonl a.jsonl -o nodir/all.jsonl");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write nodir/all.jsonl"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir.path / "a.jsonl"), part);
    EXPECT_EQ(shell("\"$FP\" merge b.jsonl a.jsonl -o all.jsonl").status, 0);
}

TEST_F(OutputSafetyTest, TwoOutputsOnOneFileAreRefusedAndStreamsMayBeShared) {
    writeFile(dir.path / "same.txt", "earlier");
    for (const char* command : {"\"$FP\" -o same.txt --log same.txt v.y4m", "\"$FP\" -o x --report x v.y4m",
                                "\"$FP\" --log r.html --report ./r.html v.y4m", "\"$FP\" -o v.xml --junit v.xml v.y4m",
                                "\"$FP\" --format csv -o same.txt --report sub/../same.txt v.y4m"}) {
        SCOPED_TRACE(command);
        if (!fs::exists(dir.path / "sub")) fs::create_directory(dir.path / "sub");
        const ProcessResult r = shell(command);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("name one file"), std::string::npos) << r.err;
    }
    EXPECT_EQ(readFile(dir.path / "same.txt"), "earlier");
    EXPECT_FALSE(fs::exists(dir.path / "x"));
    EXPECT_EQ(shell("\"$FP\" -o /dev/null --log /dev/null v.y4m").status, 0);
}

std::vector<nlohmann::json> jsonLines(const std::string& text) {
    std::vector<nlohmann::json> records;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) records.push_back(nlohmann::json::parse(line));
    return records;
}

TEST_F(OutputSafetyTest, AFailedRunKeepsTheRowsItMeasuredAndClosesItsDocumentWithTheError) {
    writeBrokenClip(dir.path / "v.y4m", dir.path / "broken.y4m", 2);
    for (const char* name : {"prev.json", "prev.jsonl", "prev.csv", "r.html"}) writeFile(dir.path / name, "earlier");

    // A read error after two frames: the document replaces the earlier one, the page does not.
    ProcessResult r = shell("\"$FP\" -q --format json -o prev.json --report r.html broken.y4m");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("frame 2 does not start with a FRAME line"), std::string::npos) << r.err;
    const nlohmann::json document = nlohmann::json::parse(readFile(dir.path / "prev.json"));
    EXPECT_EQ(document.at("frames").size(), 2u);
    EXPECT_NE(document.at("error").at("message").get<std::string>().find("FRAME line"), std::string::npos);
    EXPECT_EQ(readFile(dir.path / "r.html"), "earlier");

    r = shell("\"$FP\" -q --format jsonl -o prev.jsonl broken.y4m");
    EXPECT_EQ(r.status, 1);
    std::vector<std::string> types;
    for (const nlohmann::json& record : jsonLines(readFile(dir.path / "prev.jsonl")))
        types.push_back(record.at("type"));
    EXPECT_EQ(types, (std::vector<std::string>{"header", "frame", "frame", "error"}));
    // CSV has no place for the reason: a failed run does not pass for a complete one.
    EXPECT_EQ(shell("\"$FP\" -q --format csv -o prev.csv broken.y4m").status, 1);
    EXPECT_EQ(readFile(dir.path / "prev.csv"), "earlier");
    EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});

    // On standard output the document is closed the same way.
    r = shell("\"$FP\" -q --format json broken.y4m");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(nlohmann::json::parse(r.out).at("frames").size(), 2u);
}

TEST_F(OutputSafetyTest, AStreamThatChangesSizeKeepsTheFramesBeforeTheChange) {
    if (shell("command -v ffmpeg").status != 0) GTEST_SKIP() << "the ffmpeg program is not installed";
    // The pictures shrink at frame 9.
    // Two MPEG-TS files joined byte by byte, the second's times following the first's.
    ASSERT_EQ(shell("for s in 64x64:9:0 32x32:3:0.36; do ffmpeg -v error -f lavfi -i testsrc=size=${s%%:*}:rate=25 "
                    "-frames:v $(echo $s | cut -d: -f2) -c:v libx264 -bf 0 -output_ts_offset ${s##*:} "
                    "-f mpegts part-${s%%:*}.ts || exit 1; done; cat part-64x64.ts part-32x32.ts > joined.ts")
                  .status,
              0);
    const ProcessResult r = shell("\"$FP\" -q --format json -o out.json joined.ts");
    EXPECT_EQ(r.status, 1);
    const nlohmann::json document = nlohmann::json::parse(readFile(dir.path / "out.json"));
    EXPECT_EQ(document.at("frames").size(), 9u);
    EXPECT_NE(document.at("error").at("message").get<std::string>().find("is 32x32, not 64x64"), std::string::npos)
        << document.at("error");
}

TEST_F(OutputSafetyTest, AKilledRunLeavesNoTemporaryFile) {
    // The file is written unnamed: once it is open (a descriptor into this folder), SIGKILL may come.
    const ProcessResult r = shell(
        "\"$FP\" -q -s 64x64 --frames 100000000 --format json -o k.json /dev/zero & pid=$!\n"
        "until ls -l /proc/$pid/fd 2>/dev/null | grep -q \"$PWD/\" || ! kill -0 $pid; do sleep 0.01; done\n"
        "kill -KILL $pid; wait $pid; echo \"status $?\"");
    EXPECT_EQ(r.out, "status 137\n") << r.err;
    EXPECT_FALSE(fs::exists(dir.path / "k.json"));
    EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});
}

// A failing fsync, rename or write, made by the fault shim, on each kind of named output.
TEST_F(OutputSafetyTest, EveryNamedOutputKeepsTheEarlierFileWhenFinishingItFails) {
    ASSERT_EQ(shell("\"$FP\" -q --format jsonl --origin 0 --frames 10 -o a.jsonl v.y4m && "
                    "\"$FP\" -q --format jsonl --origin 0 --start 10 -o b.jsonl v.y4m && "
                    "\"$FP\" -q --format json -o r.json v.y4m").status, 0);
    const std::pair<const char*, const char*> outputs[] = {
        {"out.json", "\"$FP\" -q --format json -o out.json v.y4m"},
        {"out.jsonl", "\"$FP\" -q --format jsonl -o out.jsonl v.y4m"},
        {"out.csv", "\"$FP\" -q --format csv -o out.csv v.y4m"},
        {"out.log", "\"$FP\" -q -o /dev/null --log out.log v.y4m"},
        {"out.html", "\"$FP\" -q -o /dev/null --no-log --report out.html v.y4m"},
        {"out.xml", "\"$FP\" -q -o /dev/null --no-log --fail-on black\\>100 --junit out.xml v.y4m"},
        {"merged.jsonl", "\"$FP\" merge a.jsonl b.jsonl -o merged.jsonl"},
        {"index.html", "\"$FP\" index index.html r.json"},
        {"./frame-000008-worst-blur.png", "\"$FP\" -q -o /dev/null --no-log --indicators blur --snapshots . v.y4m"},
    };
    for (const char* fault : {"fsync", "fsync:1", "link", "rename", "write:100"}) {
        for (const auto& [name, command] : outputs) {
            SCOPED_TRACE(std::string(fault) + ": " + command);
            writeFile(dir.path / name, "earlier");
            const ProcessResult r =
                runProcess("/bin/sh", {"-c", command}, dir.path,
                           {std::string("FP=") + FRAMEPROBE_BINARY, std::string("LD_PRELOAD=") + FRAMEPROBE_FAULT_SHIM,
                            std::string("FRAMEPROBE_FAULT=") + fault, "ASAN_OPTIONS=verify_asan_link_order=0"});
            EXPECT_EQ(r.status, 1) << r.err;
            const char* reason = *fault == 'w' ? "No space left on device" : "Input/output error";
            EXPECT_NE(r.err.find(std::string("cannot write ") + name + ": " + reason), std::string::npos) << r.err;
            EXPECT_EQ(readFile(dir.path / name), "earlier");
            EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});
        }
    }
}

TEST_F(OutputSafetyTest, AFailureAfterACompleteDocumentAddsNothingToIt) {
    // The report cannot be written once the document on standard output is complete.
    for (const char* format : {"json", "jsonl"}) {
        SCOPED_TRACE(format);
        const ProcessResult r = runProcess(
            FRAMEPROBE_BINARY, {"-q", "--format", format, "--report", "r.html", "v.y4m"}, dir.path,
            {std::string("LD_PRELOAD=") + FRAMEPROBE_FAULT_SHIM, "FRAMEPROBE_FAULT=write:0",
             "ASAN_OPTIONS=verify_asan_link_order=0"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("cannot write r.html"), std::string::npos) << r.err;
        const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
        EXPECT_FALSE(nlohmann::json::parse(*format == 'j' && format[4] ? last : r.out).contains("error")) << r.out;
    }
}

TEST_F(OutputSafetyTest, AFailedRunLeavesEarlierFilesWhenItsPlacesCannotBeWritten) {
    writeFile(dir.path / "prev.json", "earlier result");
    writeFile(dir.path / "r.html", "earlier page");
    ProcessResult r;
    // A place that cannot be written stops the run before an earlier result is touched.
    for (const char* command : {"\"$FP\" --format json -o prev.json --report nodir/r.html v.y4m",
                                "\"$FP\" --format json --report r.html -o nodir/out.json v.y4m",
                                "\"$FP\" -o prev.json --log nodir/log.csv v.y4m"}) {
        SCOPED_TRACE(command);
        r = shell(command);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("cannot write nodir/"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(readFile(dir.path / "prev.json"), "earlier result");
    EXPECT_EQ(readFile(dir.path / "r.html"), "earlier page");
    EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});

    // An existing file its user may not write is refused (root may write any: a user is asked for).
    if (getuid() != 0 || shell("command -v setpriv").status == 0) {
        fs::permissions(dir.path, fs::perms::all);
        fs::permissions(dir.path / "prev.json", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        r = shell(std::string(getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "") +
                  "\"$FP\" --format json -o prev.json v.y4m");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("cannot write prev.json: Permission denied"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(dir.path / "prev.json"), "earlier result");
    }

    // A complete run replaces them, keeping their mode.
    fs::permissions(dir.path / "prev.json", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(shell("\"$FP\" -q --format json -o prev.json v.y4m").status, 0);
    EXPECT_EQ(nlohmann::json::parse(readFile(dir.path / "prev.json")).at("frames").size(), 20u);
    EXPECT_EQ(fs::status(dir.path / "prev.json").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(OutputSafetyTest, SignalsAfterTheFirstDoNotCutTheDocuments) {
    // The run waits for the rest of its input when the signals come: the first asks it
    // to stop, the later ones must not end it before its documents are complete.
    const ProcessResult r = shell(
        "{ head -c 60000 v.y4m; sleep 1; tail -c +60001 v.y4m; } | \"$FP\" -q --format json -o o.json "
        "--report r.html - & pid=$!\n"
        "sleep 0.5; kill -INT $pid; sleep 0.1; kill -INT $pid; sleep 0.1; kill -TERM $pid; wait $pid; "
        "echo \"status $?\"\n"
        // As `timeout` does it: the process, then its group.
        "timeout -s INT 0.3 \"$FP\" -s 64x64 --format jsonl -o o.jsonl /dev/zero; echo \"status $?\"");
    EXPECT_NE(r.out.find("status 130\nstatus 124\n"), std::string::npos) << r.out << r.err;
    const nlohmann::json document = nlohmann::json::parse(readFile(dir.path / "o.json"));
    EXPECT_TRUE(document.at("interrupted").get<bool>());
    EXPECT_NE(readFile(dir.path / "r.html").find("</html>"), std::string::npos);
    std::istringstream lines(readFile(dir.path / "o.jsonl"));
    std::string line, last;
    while (std::getline(lines, line)) last = line;
    EXPECT_TRUE(nlohmann::json::parse(last).at("interrupted").get<bool>());
    EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});
}

TEST_F(OutputSafetyTest, TwoRunsWritingOneFileLeaveOneWholeResult) {
    // A short run starts and ends while a long one writes the same files.
    const ProcessResult r = shell(
        "\"$FP\" -q -s 64x64 --frames 3000 --format json -o same.json /dev/zero & sleep 0.3\n"
        "\"$FP\" -q -s 64x64 --frames 20 --format json -o same.json /dev/zero; wait $! || exit 1\n"
        "\"$FP\" -q -s 64x64 --frames 3000 -o /dev/null /dev/zero & sleep 0.3\n"
        "\"$FP\" -q -s 64x64 --frames 20 -o /dev/null /dev/zero; wait $!");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::size_t frames = nlohmann::json::parse(readFile(dir.path / "same.json")).at("frames").size();
    EXPECT_TRUE(frames == 3000 || frames == 20) << frames;
    // The option form's default log is one run's, whole.
    const std::string log = readFile(dir.path / "metricsResultsCSV.csv");
    const auto lines = std::count(log.begin(), log.end(), '\n');
    EXPECT_TRUE(lines == 3001 || lines == 21) << lines;
    EXPECT_EQ(log.find('\0'), std::string::npos);
    EXPECT_EQ(log.find("Frame: ", 1), std::string::npos);
    EXPECT_EQ(hiddenFiles(), std::vector<std::string>{});
}

TEST_F(OutputSafetyTest, ALogNamedOnTheCommandLineMustBeWritten) {
    ProcessResult r = shell("\"$FP\" -s 64x64 --log /dev/full v.yuv");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write /dev/full"), std::string::npos) << r.err;
    r = shell("\"$FP\" --format csv --log mine.csv v.y4m");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("warning: --log is written with --format legacy only"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.path / "mine.csv"));
    // The default log that cannot be made is said in the table, and the run goes on.
    fs::create_directory(dir.path / "metricsResultsCSV.csv");
    r = shell("\"$FP\" v.y4m");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Could not create a log file"), std::string::npos);
}

// What a terminal shows of `text`: each line as carriage returns overwrite it.
std::vector<std::string> shownLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string raw; std::getline(in, raw);) {
        std::string shown;
        std::size_t column = 0;
        for (char c : raw) {
            if (c == '\r') {
                column = 0;
                continue;
            }
            if (column < shown.size()) shown[column] = c;
            else shown += c;
            ++column;
        }
        shown.erase(shown.find_last_not_of(' ') + 1);
        lines.push_back(shown);
    }
    return lines;
}

TEST_F(OutputSafetyTest, TheProgressLineNeverRunsIntoRowsOnOneTerminal) {
    if (shell("command -v script").status != 0) GTEST_SKIP() << "no script program to make a terminal";
#ifdef FRAMEPROBE_TESTS_SANITIZED
    constexpr int kFrames = 500;  // the sanitizers make each frame many times slower
#else
    constexpr int kFrames = 2000;
#endif
    for (const char* option : {"", "--progress"}) {
        SCOPED_TRACE(option);
        const ProcessResult r = shell(std::string("script -qec '\"$FP\" ") + option + " -s 352x288 --frames " +
                                      std::to_string(kFrames) + " --no-log /dev/zero' /dev/null");
        ASSERT_EQ(r.status, 0) << r.err;
        int rows = 0;
        for (const std::string& line : shownLines(r.out)) {
            if (line.empty() || !std::isdigit(static_cast<unsigned char>(line[0]))) continue;
            ++rows;
            EXPECT_EQ(line.find("fps"), std::string::npos) << line;
            EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 19) << line;
        }
        EXPECT_EQ(rows, kFrames);
        // Unasked, the rows are the progress.
        if (*option == '\0') {
            EXPECT_EQ(r.out.find(" fps"), std::string::npos);
        }
    }
}

// Peak resident memory of a run, in KiB. A small Python process starts it: the peak the
// system gives for a child counts the memory of the process it was started from (exec keeps
// the larger), and this test binary's, after other tests, may be large.
[[maybe_unused]] long peakKiB(const std::vector<std::string>& args) {
    std::vector<std::string> all{"python3", "-c",
                                 "import resource, subprocess, sys\n"
                                 "if subprocess.run(sys.argv[1:]).returncode == 0:\n"
                                 "    print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)"};
    all.insert(all.end(), args.begin(), args.end());
    const ProcessResult r = runProcess("/usr/bin/env", all, ".");
    return r.status == 0 && !r.out.empty() ? std::stol(r.out) : -1;
}

TEST_F(OutputSafetyTest, ADeclaredFrameSizeTakesNoMemoryBeforeAFrameArrives) {
    writeFile(dir.path / "huge.y4m", "YUV4MPEG2 W1048576 H4096 F25:1 C420jpeg\n");
    const ProcessResult r = shell("\"$FP\" --no-log huge.y4m");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("huge.y4m declares frames of 1048576x4096 (4294967296 pixels), more than --max-pixels "
                         "67108864"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "");
#ifndef FRAMEPROBE_TESTS_SANITIZED
    // (A sanitizer's shadow memory for the reserved frame slots would count here.)
    const long peak = peakKiB({FRAMEPROBE_BINARY, "--no-log", "-o", "/dev/null", "--max-pixels", "4294967296",
                               (dir.path / "huge.y4m").string()});
    EXPECT_GT(peak, 0);
    EXPECT_LT(peak, 100 * 1024);
#endif
    EXPECT_EQ(shell("\"$FP\" --max-pixels 4096 v.y4m -o /dev/null --no-log").status, 0);  // 64x64 is 4096 pixels
    EXPECT_EQ(shell("\"$FP\" --max-pixels 4095 v.y4m -o /dev/null --no-log").status, 1);
}

}  // namespace
