// Bad input, hostile and unusual ways of running the real binary: each case
// checks the message, the exit status, and that the log holds only whole rows.
// The cases are shell command lines, so that pipes, FIFOs, closed descriptors
// and signals are set up as a user would set them up.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kLog = "metricsResultsCSV.csv";
constexpr int kFields = 16;  // the frame number and fifteen indicators

// What the log must hold besides whole rows.
enum LogRows : int {
    kLogNotRead = -4,  // the log is /dev/full and cannot be read back
    kLogEmpty = -3,    // emptied at the start, and nothing written
    kSomeRows = -2,    // the header and at least one row
    kAnyRows = -1,     // the header and any number of rows
};

enum class Stream { Out, Err };

struct BadInput {
    const char* name;
    const char* command;  // run by /bin/sh in a fresh directory; $FP is the binary, $CLIP a 352x288 clip of 5 frames
    int status;
    Stream stream;
    const char* message;  // a part of what the stream shows
    int rows;             // rows in the log after its header, or one of LogRows
};

// Runs of more than a moment are stopped by a signal once the log holds two
// rows, which the stop handlers are installed before.
#define LONG_RUN_STOPPED_BY(SIGNAL)                                                                  \
    "\"$FP\" /dev/zero 64 64 0x7fff 25 100000000 & pid=$!\n"                                         \
    "while [ \"$(cat metricsResultsCSV.csv 2>/dev/null | wc -l)\" -lt 3 ] && kill -0 $pid; do sleep 0.05; done\n" \
    "kill -" SIGNAL " $pid; wait $pid"

const BadInput kBadInputs[] = {
    // Sizes.
    {"width 0", "\"$FP\" \"$CLIP\" 0 288", 255, Stream::Out, "Invalid WIDTH 0: the frame width must be at least 1",
     kLogEmpty},
    {"negative height", "\"$FP\" \"$CLIP\" 352 -288", 255, Stream::Out,
     "Invalid HEIGHT -288: the frame height must be at least 1", kLogEmpty},
    {"non-numeric width", "\"$FP\" \"$CLIP\" abc 288", 255, Stream::Out, "Invalid WIDTH 0", kLogEmpty},
    {"trailing text after the sizes is ignored", "\"$FP\" \"$CLIP\" 352px 288px 0x7fff 25 2", 0, Stream::Out,
     "Width = 352, Height = 288", 2},
    {"huge width", "\"$FP\" \"$CLIP\" 99999999999 288", 255, Stream::Out,
     "Invalid WIDTH 99999999999: the value does not fit 32 bits", kLogEmpty},
    {"width cut to a valid one", "\"$FP\" \"$CLIP\" 4294967648 288", 255, Stream::Out,
     "Invalid WIDTH 4294967648: the value does not fit 32 bits", kLogEmpty},
    {"frame size overflows", "\"$FP\" \"$CLIP\" 2147483647 2147483647", 255, Stream::Out,
     "Invalid frame size 2147483647x2147483647: a frame of 6917529021198630913 bytes exceeds 2147483647 bytes",
     kLogEmpty},

    // Inputs that are not plain files of whole frames.
    {"directory with a frame count", "mkdir adir; \"$FP\" adir 352 288 0x7fff 25 2", 255, Stream::Out,
     "Error description: Is a directory", 0},
    {"/dev/null", "\"$FP\" /dev/null 352 288", 0, Stream::Out, "Number of Frames = 0", 0},
    {"empty file", ": > empty.yuv; \"$FP\" empty.yuv 352 288", 0, Stream::Out, "Number of Frames = 0", 0},
    {"file shorter than one frame", "head -c 1000 \"$CLIP\" > short.yuv; \"$FP\" short.yuv 352 288", 0, Stream::Out,
     "Number of Frames = 0", 0},
    {"missing file", "\"$FP\" missing.yuv 352 288", 255, Stream::Err, "Error opening file.\n\n: No such file",
     kLogEmpty},
    {"more frames than frame numbers count",
     "dd if=/dev/null of=big.yuv bs=1 seek=2147483648 2>/dev/null && \"$FP\" big.yuv 1 1 0", 255, Stream::Out,
     "big.yuv holds 2147483648 frames, more than frame numbers can count (2147483647)", kLogEmpty},
    {"FIFO with a writer", "mkfifo ff; cat \"$CLIP\" > ff & \"$FP\" ff 352 288 0x7fff 25 3", 0, Stream::Out,
     "Video file ff opened successfully!", 3},
    {"FIFO whose writer writes nothing", "mkfifo ff; : > ff & \"$FP\" ff 352 288 0x7fff 25 3", 0, Stream::Out,
     "Number of Frames = 3", 3},
    {"FIFO without a frame count",
     "mkfifo ff; cat \"$CLIP\" > ff 2>/dev/null & \"$FP\" ff 352 288; s=$?; kill $! 2>/dev/null; exit $s", 255,
     Stream::Out, "Could not measure the length of ff: Illegal seek", kLogEmpty},
    {"standard input from a file", "\"$FP\" /dev/stdin 352 288 < \"$CLIP\"", 0, Stream::Out,
     "Number of Frames = 5", 5},
    {"standard input from a pipe", "cat \"$CLIP\" | \"$FP\" /dev/stdin 352 288 0x7fff 25 3", 0, Stream::Out,
     "Video file /dev/stdin opened successfully!", 3},
    {"pipe without a frame count", "cat \"$CLIP\" | \"$FP\" /dev/stdin 352 288", 255, Stream::Out,
     "Could not measure the length of /dev/stdin: Illegal seek", kLogEmpty},
    {"option form reading -", "cat \"$CLIP\" | \"$FP\" --size 352x288 --frames 3 -", 0, Stream::Out,
     "Video file - opened successfully!", 3},

    // Masks are cut to 32 bits.
    {"mask -1", "\"$FP\" \"$CLIP\" 352 288 -1 25 2", 0, Stream::Out, "Number of Frames = 2", 2},
    {"mask 0xFFFFFFFF", "\"$FP\" \"$CLIP\" 352 288 0xFFFFFFFF 25 2", 0, Stream::Out, "Number of Frames = 2", 2},
    {"mask 0x100000000", "\"$FP\" \"$CLIP\" 352 288 0x100000000 25 2", 255, Stream::Out,
     "Invalid RequestedVQIs 0x100000000: the value does not fit 32 bits", kLogEmpty},

    // Frame ranges.
    {"negative startFrame", "\"$FP\" \"$CLIP\" 352 288 0x7fff 25 3 -1", 255, Stream::Out,
     "Invalid startFrame -1: the first frame of the file is frame 0", kLogEmpty},
    {"startFrame past the largest file offset", "\"$FP\" \"$CLIP\" 352 288 0x7fff 25 3 200000000", 0, Stream::Out,
     "Start Frame = 200000000", 3},
    {"startFrame at the last frame number", "\"$FP\" \"$CLIP\" 352 288 0x7fff 25 3 2147483647", 0, Stream::Out,
     "Start Frame = 2147483647", 1},
    {"negative frame count", "\"$FP\" \"$CLIP\" 352 288 0x7fff 25 -5", 0, Stream::Out, "Number of Frames = -5", 0},

    // Outputs that fail or are missing.
#ifdef __linux__
    {"log on a full disk", "ln -s /dev/full metricsResultsCSV.csv; \"$FP\" \"$CLIP\" 352 288", 255, Stream::Err,
     "frameprobe: cannot write metricsResultsCSV.csv: No space left on device", kLogNotRead},
    {"standard output on a full disk", "\"$FP\" \"$CLIP\" 352 288 > /dev/full", 255, Stream::Err,
     "frameprobe: cannot write standard output: No space left on device", kLogEmpty},
    // The disk fills up in the middle of the log's third row: it is cut back to the second.
    {"log file filling its disk", "LD_PRELOAD=\"$SHIM\" FRAMEPROBE_FAULT=write:500 \"$FP\" \"$CLIP\" 352 288", 255,
     Stream::Err, "frameprobe: cannot write metricsResultsCSV.csv: No space left on device", 2},
#endif
    {"standard output closed", "\"$FP\" \"$CLIP\" 352 288 0x7fff 25 3 >&-", 0, Stream::Out, "", 3},
    {"standard input and output closed", "\"$FP\" \"$CLIP\" 352 288 0x7fff 25 3 <&- >&-", 0, Stream::Out, "", 3},
    {"output read by head -3",
     "{ \"$FP\" /dev/zero 64 64 0x7fff 25 1000; echo $? > status; } | head -3 > /dev/null; exit $(cat status)", 255,
     Stream::Err, "frameprobe: cannot write standard output: Broken pipe", kAnyRows},

    // Signals end a long run after a whole frame.
    {"SIGINT", LONG_RUN_STOPPED_BY("INT"), 130, Stream::Out, "", kSomeRows},
    {"SIGTERM", LONG_RUN_STOPPED_BY("TERM"), 143, Stream::Out, "", kSomeRows},
#ifdef __linux__
// The program itself (not the shell that starts it, whose handlers it may show
// before exec) catches SIGINT.
#define READY_FOR_SIGINT                                                                           \
    "fp=$(readlink -f \"$FP\"); until [ \"$(readlink /proc/$pid/exe)\" = \"$fp\" ] &&"             \
    " grep -q 'SigCgt:.*[2367abef]$' /proc/$pid/status; do sleep 0.01; done\n"
    // The signal comes while a read from a pipe waits, and the pipe ends after it: no complete run.
    {"SIGINT while a pipe is read",
     "mkfifo ff; exec 3<>ff; \"$FP\" - 64 64 < ff 3>&- & pid=$!\n"
     READY_FOR_SIGINT
     "kill -INT $pid; exec 3>&-; wait $pid",
     130, Stream::Out, "Number of Frames = unknown", 0},
    // The writer stalls and keeps the pipe open: the run still ends (SIGKILL after 60 s would give 137;
    // a sanitizer's checks at exit on a loaded machine can take seconds).
    {"SIGINT while a stalled pipe is read",
     "mkfifo ff; exec 3<>ff; \"$FP\" - 64 64 < ff 3>&- & pid=$!\n"
     READY_FOR_SIGINT
     "kill -INT $pid; (sleep 60; kill -KILL $pid) >/dev/null 2>&1 & killer=$!\n"
     "wait $pid; status=$?; kill $killer; exit $status",
     130, Stream::Out, "Number of Frames = unknown", 0},
#endif
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int fieldCount(const std::string& line) {
    int fields = 1;
    for (char c : line) fields += c == '\t';
    return fields;
}

// Whole lines of 16 fields; returns the rows after the header.
int checkWholeRows(const std::string& log) {
    if (log.empty()) return kLogEmpty;
    EXPECT_EQ(log.back(), '\n') << "the log ends inside a row";
    const std::vector<std::string> lines = linesOf(log);
    for (const std::string& line : lines) EXPECT_EQ(fieldCount(line), kFields) << "row: " << line;
    EXPECT_EQ(lines.front().rfind("Frame: ", 0), 0u) << "the log does not start with its header";
    return static_cast<int>(lines.size()) - 1;
}

class BadInputTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        clipDir_ = new TempDir;
        const ProcessResult made =
            runProcess(FRAMEPROBE_SAMPLE_BINARY, {"clip.yuv", "352", "288", "5"}, clipDir_->path);
        ASSERT_EQ(made.status, 0) << made.err;
    }
    static void TearDownTestSuite() {
        delete clipDir_;
        clipDir_ = nullptr;
    }

    static fs::path clip() { return clipDir_->path / "clip.yuv"; }

    // Runs `command` in `dir` with /bin/sh.
    static ProcessResult runShell(const std::string& command, const fs::path& dir) {
        return runProcess("/bin/sh", {"-c", command}, dir,
                          {std::string("FP=") + FRAMEPROBE_BINARY, "CLIP=" + clip().string(),
                           std::string("SHIM=") + FRAMEPROBE_FAULT_SHIM, "ASAN_OPTIONS=verify_asan_link_order=0"});
    }

    static inline TempDir* clipDir_ = nullptr;
};

TEST_F(BadInputTest, EachBadInputGivesItsMessageAndStatusAndWholeRows) {
    for (const BadInput& input : kBadInputs) {
        SCOPED_TRACE(input.name);
        TempDir dir;
        const ProcessResult result = runShell(input.command, dir.path);
        EXPECT_EQ(result.status, input.status) << "out:\n" << result.out.substr(0, 2000) << "\nerr:\n" << result.err;
        const std::string& shown = input.stream == Stream::Out ? result.out : result.err;
        EXPECT_NE(shown.find(input.message), std::string::npos)
            << "expected \"" << input.message << "\" in:\n" << shown.substr(0, 2000);
        if (input.rows == kLogNotRead) continue;
        EXPECT_TRUE(fs::is_regular_file(dir.path / kLog));
        const int rows = checkWholeRows(readFile(dir.path / kLog));
        if (input.rows == kSomeRows || input.rows == kAnyRows) {
            EXPECT_GE(rows, input.rows == kSomeRows ? 1 : 0);
        } else {
            EXPECT_EQ(rows, input.rows);
        }
        // What reaches standard output is whole lines too.
        if (!result.out.empty()) {
            EXPECT_EQ(result.out.back(), '\n');
        }
    }
}

TEST_F(BadInputTest, PipesFifosAndStandardInputGiveTheRowsOfTheFile) {
    TempDir reference;
    ASSERT_EQ(runShell("\"$FP\" \"$CLIP\" 352 288 0x7fff 25 3", reference.path).status, 0);
    const std::string expected = readFile(reference.path / kLog);
    for (const char* command : {"cat \"$CLIP\" | \"$FP\" /dev/stdin 352 288 0x7fff 25 3",
                                "\"$FP\" /dev/stdin 352 288 0x7fff 25 3 < \"$CLIP\"",
                                "mkfifo ff; cat \"$CLIP\" > ff & \"$FP\" ff 352 288 0x7fff 25 3",
                                "cat \"$CLIP\" | \"$FP\" --size 352x288 --frames 3 -",
                                "\"$FP\" \"$CLIP\" 352 288 0x7fff 25 3 <&- >&-"}) {
        SCOPED_TRACE(command);
        TempDir dir;
        ASSERT_EQ(runShell(command, dir.path).status, 0);
        EXPECT_EQ(readFile(dir.path / kLog), expected);
    }
    // A start frame on a pipe is reached by reading through the frames before it.
    TempDir fromFile, fromPipe;
    ASSERT_EQ(runShell("\"$FP\" \"$CLIP\" 352 288 0x7fff 25 2 2", fromFile.path).status, 0);
    ASSERT_EQ(runShell("cat \"$CLIP\" | \"$FP\" /dev/stdin 352 288 0x7fff 25 2 2", fromPipe.path).status, 0);
    EXPECT_EQ(readFile(fromPipe.path / kLog), readFile(fromFile.path / kLog));
}

TEST_F(BadInputTest, APipeCutInItsLastFrameGivesWhatTheFileGives) {
    TempDir dir;
    // Four whole frames and the luma plane of a fifth, whose chroma is cut.
    const std::string cut = "head -c $((4 * 152064 + 110000)) \"$CLIP\" > cut.yuv; ";
    const auto fileAndPipe = [&](const std::string& options) {
        return std::pair{runShell(cut + "\"$FP\"" + options + "cut.yuv", dir.path),
                         runShell(cut + "cat cut.yuv | \"$FP\"" + options + "-", dir.path)};
    };
    // The cut frame is left out.
    const auto [file, pipe] = fileAndPipe(" -s 352x288 --indicators blur --no-log --format csv ");
    ASSERT_EQ(file.status, 0) << file.err;
    EXPECT_EQ(pipe.status, 0) << pipe.err;
    EXPECT_EQ(linesOf(file.out).size(), 5u);  // the header and four rows
    EXPECT_EQ(pipe.out, file.out);
    EXPECT_NE(pipe.err.find("the last frame is truncated (110000 of 152064 bytes)"), std::string::npos) << pipe.err;
    // Six frames asked for from frame 1: the rows past the end repeat short reads, and are no frames.
    const auto [askedFile, askedPipe] = fileAndPipe(
        " -s 352x288 --frames 6 --start 1 --indicators blur --no-log --format json --fail-on blur.max\\<0 ");
    EXPECT_EQ(askedFile.status, 3) << askedFile.err;
    EXPECT_EQ(askedPipe.status, 3) << askedPipe.err;
    EXPECT_NE(askedPipe.err.find("QC failed: measured 3 of 6 frames"), std::string::npos) << askedPipe.err;
    EXPECT_NE(askedPipe.out.find("\"frames_measured\":3,"), std::string::npos) << askedPipe.out;
}

TEST_F(BadInputTest, ARawSizeOverMaxPixelsFromAPipeIsRefusedBeforeMemoryIsTaken) {
#ifdef FRAMEPROBE_TESTS_SANITIZED
    GTEST_SKIP() << "a sanitizer's shadow memory does not fit the address space limit";
#else
    TempDir dir;
    // Two 20000x20000 planes would need 800 MB, more than the limit.
    const ProcessResult r =
        runShell("cat \"$CLIP\" | (ulimit -v 500000 && \"$FP\" -s 20000x20000 --no-log -)", dir.path);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("standard input declares frames of 20000x20000 (400000000 pixels), more than --max-pixels"),
              std::string::npos)
        << r.err;
#endif
}

TEST_F(BadInputTest, AStartPastTheLargestOffsetNeverMeasuresFrameZero) {
    TempDir first, far;
    ASSERT_EQ(runShell("\"$FP\" \"$CLIP\" 352 288 0x7fff 25 1", first.path).status, 0);
    ASSERT_EQ(runShell("\"$FP\" \"$CLIP\" 352 288 0x7fff 25 3 200000000", far.path).status, 0);
    const std::vector<std::string> frameZero = linesOf(readFile(first.path / kLog));
    const std::vector<std::string> rows = linesOf(readFile(far.path / kLog));
    ASSERT_EQ(frameZero.size(), 2u);
    ASSERT_EQ(rows.size(), 4u);
    const std::string frameZeroValues = frameZero[1].substr(frameZero[1].find('\t'));
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_NE(rows[i].substr(rows[i].find('\t')), frameZeroValues) << rows[i];
        // Nothing was read: the frame is black.
        EXPECT_NE(rows[i].find("\t1 \t"), std::string::npos) << rows[i];
    }
}

TEST_F(BadInputTest, ADirectoryWithoutAFrameCountIsNamedForWhatItIs) {
    TempDir dir;
    const ProcessResult result = runShell("mkdir adir; \"$FP\" adir 352 288", dir.path);
    EXPECT_EQ(result.status, 255);
    EXPECT_NE((result.out + result.err).find("Is a directory"), std::string::npos) << result.out << result.err;
}

}  // namespace
