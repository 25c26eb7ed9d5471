// Runs of the real binary writing JSON, JSON Lines and CSV: the values of the
// legacy table, null where it shows no value, events, the QC gate's statuses,
// and whole documents after an interruption.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <csignal>
#include <cstdio>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "indicators/registry.h"
#include "test_support.h"

namespace {

using nlohmann::json;

const std::vector<std::string> kEveryDefect{"clip.yuv", "352", "288", "40",
    "blocky:0-3", "blur:4-7", "noise:8-11", "interlace:12-15", "lostblocks:16-19", "letterbox:20-23",
    "pillarbox:24-27", "freeze:28-32", "black:33-34", "flicker:0-27"};

class OutputFormatsTest : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override { ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, kEveryDefect, dir.path).status, 0); }
    ProcessResult probe(const std::vector<std::string>& args) { return runProcess(FRAMEPROBE_BINARY, args, dir.path); }
};

std::vector<std::vector<std::string>> logRows(const std::string& log) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(log);
    std::string line;
    std::getline(lines, line);  // header
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::vector<std::string> row;
        for (std::string f; fields >> f;) row.push_back(f);
        rows.push_back(row);
    }
    return rows;
}

// The log's text for a value, using the log's own format of that column.
std::string asLogText(const IndicatorDescriptor& d, double value) {
    char text[64];
    if (d.column.integer)
        snprintf(text, sizeof text, "%d", static_cast<int>(value));
    else
        snprintf(text, sizeof text, d.column.logFormat + 2, value);  // without the separator
    std::string s = text;
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

TEST_F(OutputFormatsTest, JsonValuesAreTheTableValuesAndNullWhereItHasNone) {
    ASSERT_EQ(probe({"clip.yuv", "352", "288"}).status, 0);
    const auto table = logRows(readFile(dir.path / "metricsResultsCSV.csv"));
    const ProcessResult r = probe({"-s", "352x288", "--format", "json", "-o", "out.json", "clip.yuv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json doc = json::parse(readFile(dir.path / "out.json"));
    ASSERT_EQ(doc["frames"].size(), table.size());
    const auto& registry = indicatorRegistry();
    for (std::size_t f = 0; f < table.size(); ++f) {
        const json& frame = doc["frames"][f];
        EXPECT_EQ(frame["frame"], f);
        for (std::size_t i = 0; i < registry.size(); ++i) {
            if (registry[i].column.consoleHeader == nullptr) continue;  // not in the table
            const std::string& shown = table[f][i + 1];
            const json& value = frame[registry[i].key];
            SCOPED_TRACE(std::string(registry[i].key) + " of frame " + std::to_string(f));
            if (value.is_null()) {
                // No value: the table shows a marker or the temporal first frame's zero.
                const bool marker = shown == "-1.00000" || shown == "nan" || shown == "-nan" || shown == "inf" ||
                                    (f == 0 && registry[i].kind == IndicatorKind::Temporal);
                EXPECT_TRUE(marker) << shown;
            } else {
                EXPECT_EQ(asLogText(registry[i], value.get<double>()), shown);
            }
        }
    }
    // Events: black frames 33-34 and frozen ones; 25 frames a second.
    bool black = false;
    for (const json& e : doc["events"])
        if (e["type"] == "black") {
            black = true;
            EXPECT_EQ(e["start_frame"], 33);
            EXPECT_EQ(e["end_frame"], 34);
            EXPECT_DOUBLE_EQ(e["start_time"].get<double>(), 1.32);
            EXPECT_DOUBLE_EQ(e["duration"].get<double>(), 0.08);
        }
    EXPECT_TRUE(black);
}

TEST_F(OutputFormatsTest, CsvAndJsonLinesCarryTheSameValues) {
    const json doc = json::parse(probe({"-s", "352x288", "--format", "json", "clip.yuv"}).out);
    const std::string csv = probe({"-s", "352x288", "--format", "csv", "clip.yuv"}).out;
    const std::string jsonl = probe({"-s", "352x288", "--format", "jsonl", "clip.yuv"}).out;
    std::istringstream csvLines(csv), jsonLines(jsonl);
    std::string line;
    std::getline(csvLines, line);
    EXPECT_EQ(line.rfind("frame,time,blockiness,", 0), 0u);
    std::getline(jsonLines, line);
    EXPECT_EQ(json::parse(line)["type"], "header");
    for (const json& frame : doc["frames"]) {
        ASSERT_TRUE(std::getline(jsonLines, line));
        EXPECT_EQ(json::parse(line)["blur"], frame["blur"]);
        ASSERT_TRUE(std::getline(csvLines, line));
        std::vector<std::string> cells;
        std::istringstream cellStream(line.substr(0, line.size() - 1));  // without the CR
        for (std::string c; std::getline(cellStream, c, ',');) cells.push_back(c);
        EXPECT_EQ(cells[0], std::to_string(frame["frame"].get<int>()));
        if (frame["flickering"].is_null()) {
            EXPECT_TRUE(line.back() == '\r' && line[line.size() - 2] == ',');  // an empty last cell
        }
    }
    ASSERT_TRUE(std::getline(jsonLines, line));
    EXPECT_EQ(json::parse(line)["summary"]["blur"]["count"], 40);
}

TEST_F(OutputFormatsTest, QcGateStatuses) {
    const std::vector<std::string> base{"-s", "352x288", "--format", "csv", "-o", "out.csv", "clip.yuv"};
    auto run = [&](std::vector<std::string> conditions) {
        std::vector<std::string> args = base;
        for (const std::string& c : conditions) args.insert(args.begin(), {"--fail-on", c});
        return probe(args);
    };
    EXPECT_EQ(run({}).status, 0);
    const ProcessResult failed = run({"black>0", "freeze.duration>2"});
    EXPECT_EQ(failed.status, 3);
    EXPECT_NE(failed.err.find("QC failed: black>0"), std::string::npos) << failed.err;
    EXPECT_EQ(failed.err.find("freeze.duration"), std::string::npos) << failed.err;
    EXPECT_FALSE(readFile(dir.path / "out.csv").empty());  // the output is complete all the same
    EXPECT_EQ(run({"blur.p95>1000", "blockiness.mean<0"}).status, 0);
    const ProcessResult malformed = run({"blur.p95>>5"});
    EXPECT_EQ(malformed.status, 2);
    EXPECT_NE(malformed.err.find("blur.p95>>5"), std::string::npos);
}

TEST_F(OutputFormatsTest, InterruptionLeavesWholeDocuments) {
    // /dev/zero never ends: the run goes on until the signal.
    for (const std::string format : {"json", "csv", "legacy"}) {
        SCOPED_TRACE(format);
        const auto out = dir.path / "out.txt";
        std::filesystem::remove(out);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir.path.c_str()) != 0) _exit(127);
            if (!freopen("/dev/null", "w", stdout)) _exit(127);
            execl(FRAMEPROBE_BINARY, FRAMEPROBE_BINARY, "-s", "64x64", "--frames", "100000000", "--format",
                  format.c_str(), "-o", "out.txt", "-t", "2", "/dev/zero", static_cast<char*>(nullptr));
            _exit(127);
        }
        // Once rows arrive the handlers are in place; a loaded machine may take a while to get there.
        // The file is written unnamed (or under a temporary name) until the run completes it:
        // its size is read through the run's own descriptors.
        const auto written = [&] {
            std::uintmax_t bytes = 0;
            std::error_code error;
            const std::string folder = dir.path.string() + "/";
            for (const auto& fd : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
                const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
                struct stat st {};
                if (!error && target.rfind(folder, 0) == 0 && stat(fd.path().c_str(), &st) == 0 && S_ISREG(st.st_mode))
                    bytes += static_cast<std::uintmax_t>(st.st_size);
            }
            return bytes;
        };
        for (int i = 0; i < 1000 && written() < 2000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 143);
        const std::string text = readFile(out);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\n');
        if (format == "json") {
            const json doc = json::parse(text);
            EXPECT_TRUE(doc["interrupted"].get<bool>());
            EXPECT_GT(doc["frames"].size(), 0u);
        }
        if (format == "legacy") {
            const std::string log = readFile(dir.path / "metricsResultsCSV.csv");
            EXPECT_EQ(log.back(), '\n');
        }
    }
}

}  // namespace
