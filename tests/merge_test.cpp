// `frameprobe merge` with the real binary: parts of a run joined in any order
// give the whole run's output; parts that do not make one run are refused.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <functional>
#include <sstream>

#include "test_support.h"

namespace {

using nlohmann::json;

constexpr int kFrames = 48;

// Every record of a JSON or JSON Lines output without the run's timing.
std::string withoutTiming(const std::string& text) {
    std::istringstream in(text);
    std::string out;
    const bool lines = text.rfind("{\"type\"", 0) == 0;
    if (!lines) {
        json doc = json::parse(text);
        doc.erase("run");
        return doc.dump(1);
    }
    for (std::string line; std::getline(in, line);) {
        json record = json::parse(line);
        record.erase("run");
        out += record.dump() + "\n";
    }
    return out;
}

class MergeTest : public ::testing::Test {
protected:
    TempDir dir;

    void SetUp() override {
        // Freezes, black frames and flicker periods that segment boundaries cut.
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY,
                             {"clip.yuv", "64", "64", std::to_string(kFrames), "freeze:5-20", "black:30-31",
                              "freeze:33-45", "flicker:0-40"},
                             dir.path)
                      .status,
                  0);
    }
    ProcessResult probe(const std::vector<std::string>& args) { return runProcess(FRAMEPROBE_BINARY, args, dir.path); }
    ProcessResult whole(const std::string& format) {
        return probe({"-s", "64x64", "--no-log", "-q", "--format", format, "clip.yuv"});
    }
    // Writes the segment's JSON Lines to `name`.
    void segment(const std::string& name, int start, int frames, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"-s",      "64x64", "-q",       "--format", "jsonl", "--origin", "0", "--start",
                                      std::to_string(start), "--frames", std::to_string(frames), "-o", name};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back("clip.yuv");
        ASSERT_EQ(probe(args).status, 0) << name;
    }
    // Splits the clip into segments of `length`, named in reverse frame order.
    std::vector<std::string> split(int length) {
        std::vector<std::string> names;
        for (int start = 0; start < kFrames; start += length) {
            names.insert(names.begin(), "part" + std::to_string(start) + ".jsonl");
            segment(names.front(), start, std::min(length, kFrames - start));
        }
        return names;
    }
    ProcessResult merge(const std::vector<std::string>& parts, const std::string& format = "jsonl") {
        std::vector<std::string> args{"merge", "--format", format};
        args.insert(args.end(), parts.begin(), parts.end());
        return probe(args);
    }
    // Rewrites the records of `from` into `to` through `edit` (a record, its line number).
    void rewrite(const std::string& from, const std::string& to, const std::function<void(json&, int)>& edit) {
        std::istringstream in(readFile(dir.path / from));
        std::string out;
        int at = 0;
        for (std::string line; std::getline(in, line); ++at) {
            json record = json::parse(line);
            edit(record, at);
            if (!record.is_null()) out += record.dump() + "\n";
        }
        writeFile(dir.path / to, out);
    }
    std::vector<json> events(const std::string& jsonl) {
        const std::string last = jsonl.substr(jsonl.rfind("{\"type\":\"summary\""));
        return json::parse(last)["events"].get<std::vector<json>>();
    }
};

TEST_F(MergeTest, PartsInAnyOrderGiveTheWholeRun) {
    const std::string json = withoutTiming(whole("json").out);
    const std::string jsonl = withoutTiming(whole("jsonl").out);
    const std::string csv = whole("csv").out;
    const std::string legacy = whole("legacy").out;
    // Lengths that cut freezes, black frames and flicker periods at many offsets.
    for (int length : {5, 8, 11, 47}) {
        SCOPED_TRACE("segments of " + std::to_string(length));
        const std::vector<std::string> parts = split(length);
        EXPECT_EQ(withoutTiming(merge(parts, "json").out), json);
        EXPECT_EQ(withoutTiming(merge(parts, "jsonl").out), jsonl);
        EXPECT_EQ(merge(parts, "csv").out, csv);
        EXPECT_EQ(merge(parts, "legacy").out, legacy);
    }
    // Blank lines, as an editor leaves them at the end or between records, carry nothing.
    const std::vector<std::string> parts = split(24);
    writeFile(dir.path / parts[0], "\n" + readFile(dir.path / parts[0]) + " \r\n\n");
    EXPECT_EQ(withoutTiming(merge(parts, "jsonl").out), jsonl);
}

TEST_F(MergeTest, EventsAcrossABoundaryJoinIntoOne) {
    segment("a.jsonl", 0, 31);
    segment("b.jsonl", 31, kFrames - 31);
    auto blackIn = [&](const std::string& jsonl) {
        std::vector<std::pair<int, int>> spans;
        for (const json& e : events(jsonl))
            if (e["type"] == "black") spans.emplace_back(e["start_frame"], e["end_frame"]);
        return spans;
    };
    ASSERT_EQ(blackIn(readFile(dir.path / "a.jsonl")), (std::vector<std::pair<int, int>>{{30, 30}}));
    ASSERT_EQ(blackIn(readFile(dir.path / "b.jsonl")), (std::vector<std::pair<int, int>>{{31, 31}}));
    const ProcessResult merged = merge({"b.jsonl", "a.jsonl"});
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(blackIn(merged.out), (std::vector<std::pair<int, int>>{{30, 31}}));
}

TEST_F(MergeTest, PartsThatMakeNoOneRunAreRefused) {
    segment("a.jsonl", 0, 10);
    segment("b.jsonl", 10, 10);
    segment("gap.jsonl", 12, 8);
    segment("overlap.jsonl", 5, 10);
    segment("threshold.jsonl", 10, 10, {"--flicker-threshold", "0.2"});
    segment("blur.jsonl", 10, 10, {"--indicators", "blur"});
    ASSERT_EQ(probe({"-s", "64x64", "-q", "--format", "jsonl", "--origin", "5", "--start", "10", "--frames", "10",
                     "-o", "origin.jsonl", "clip.yuv"})
                  .status,
              0);
    ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"other.yuv", "64", "64", "20"}, dir.path).status, 0);
    ASSERT_EQ(probe({"-s", "64x64", "-q", "--format", "jsonl", "--start", "10", "--frames", "10", "-o", "other.jsonl",
                     "other.yuv"})
                  .status,
              0);
    // A task that died: its output has no summary record.
    const std::string b = readFile(dir.path / "b.jsonl");
    writeFile(dir.path / "cut.jsonl", b.substr(0, b.rfind("{\"type\":\"summary\"")));

    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"gap.jsonl", "a.jsonl"},
         "frames 10-11 are missing between a.jsonl (frames 0-9) and gap.jsonl (frames 12-19)"},
        {{"a.jsonl", "overlap.jsonl"}, "a.jsonl (frames 0-9) and overlap.jsonl (frames 5-14) overlap at frames 5-9"},
        {{"a.jsonl", "other.jsonl"},
         "a.jsonl and other.jsonl are not parts of one run: input \"clip.yuv\" / \"other.yuv\""},
        {{"a.jsonl", "origin.jsonl"}, "are not parts of one run: origin 0 / 5"},
        {{"a.jsonl", "threshold.jsonl"}, "are not parts of one run: event options"},
        {{"a.jsonl", "blur.jsonl"}, "are not parts of one run: indicators"},
        {{"a.jsonl", "cut.jsonl"}, "cut.jsonl: no summary record: its run did not finish"},
        {{"a.jsonl", "missing.jsonl"}, "missing.jsonl: cannot read it"},
    };
    for (const auto& [parts, message] : cases) {
        SCOPED_TRACE(parts.back());
        const ProcessResult r = merge(parts);
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
    EXPECT_EQ(probe({"merge", "--partial", "a.jsonl", "b.jsonl"}).status, 0);
    // A merged run has no transport checks or loudness to judge: a condition on them would always pass.
    for (const char* condition : {"continuity_count_error>0", "loudness.true_peak>-1"}) {
        const ProcessResult r = probe({"merge", "--partial", "--fail-on", condition, "a.jsonl", "b.jsonl"});
        EXPECT_EQ(r.status, 2) << condition;
        EXPECT_NE(r.err.find("cannot be joined"), std::string::npos) << r.err;
    }
}

TEST_F(MergeTest, ASetMissingTheWholeRunsFirstOrLastFramesNeedsPartial) {
    segment("a.jsonl", 0, 20);
    segment("b.jsonl", 20, 20);
    segment("c.jsonl", 40, kFrames - 40);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"b.jsonl", "c.jsonl"}, "frames 0-19 of the whole run are missing before b.jsonl (frames 20-39)"},
        {{"a.jsonl", "b.jsonl"}, "frames 40-47 of the whole run are missing after b.jsonl (frames 20-39)"},
    };
    for (const auto& [parts, message] : cases) {
        SCOPED_TRACE(message);
        const ProcessResult refused = merge(parts);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find(message), std::string::npos) << refused.err;
        std::vector<std::string> args{"merge", "--partial"};
        args.insert(args.end(), parts.begin(), parts.end());
        const ProcessResult accepted = probe(args);
        EXPECT_EQ(accepted.status, 0) << accepted.err;
        const std::size_t firstRow = accepted.out.find("{\"type\":\"frame\"");
        ASSERT_NE(firstRow, std::string::npos);
        EXPECT_EQ(json::parse(accepted.out.substr(firstRow, accepted.out.find('\n', firstRow) - firstRow))["frame"],
                  parts[0] == "a.jsonl" ? 0 : 20);
    }
    // A whole run given by the plan: the first 40 frames are all of it.
    segment("a40.jsonl", 0, 20, {"--run-frames", "40"});
    segment("b40.jsonl", 20, 20, {"--run-frames", "40"});
    EXPECT_EQ(merge({"b40.jsonl", "a40.jsonl"}).status, 0);
    const ProcessResult mixed = merge({"a40.jsonl", "b.jsonl", "c.jsonl"});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_NE(mixed.err.find("whole-run frame count 40 / 48"), std::string::npos) << mixed.err;
}

TEST_F(MergeTest, EveryBreakInTheFramesIsRefusedEvenOfOneFrame) {
    segment("a.jsonl", 0, 10);
    segment("b.jsonl", 10, 10);
    segment("gap.jsonl", 11, 9);
    segment("a40.jsonl", 0, 20, {"--run-frames", "40"});
    segment("short40.jsonl", 20, 19, {"--run-frames", "40"});
    rewrite("a.jsonl", "skips.jsonl", [](json& r, int) {
        if (r["type"] == "frame" && r["frame"] == 5) r = nullptr;
    });
    rewrite("b.jsonl", "stopped.jsonl", [](json& r, int) {
        if (r["type"] == "summary") r["interrupted"] = true;
    });
    // Times are read from containers only: the parts as if of one, the second starting at the
    // time the first ends on.
    const auto asContainer = [](double firstTime) {
        return [=](json& r, int at) {
            if (r["type"] == "header") r["input"]["format"] = "nut";
            if (at == 1 && firstTime >= 0) r["time"] = firstTime;
        };
    };
    rewrite("a.jsonl", "ta.jsonl", asContainer(-1));
    rewrite("b.jsonl", "tb.jsonl", asContainer(-1));
    rewrite("b.jsonl", "same.jsonl", asContainer(0.36));
    EXPECT_EQ(merge({"--partial", "tb.jsonl", "ta.jsonl"}, "csv").status, 0);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"a.jsonl", "gap.jsonl"}, "frames 10-10 are missing between a.jsonl (frames 0-9) and gap.jsonl"},
        {{"skips.jsonl", "b.jsonl"}, "skips.jsonl: frame 6 follows frame 4"},
        {{"a.jsonl", "stopped.jsonl"}, "stopped.jsonl: its run was interrupted"},
        {{"a40.jsonl", "short40.jsonl"},
         "frames 39-39 of the whole run are missing after short40.jsonl (frames 20-38)"},
        {{"ta.jsonl", "same.jsonl"}, "same.jsonl (frames 10-19) starts at 0.36 s, not after ta.jsonl (frames 0-9)"},
    };
    for (const auto& [parts, message] : cases) {
        SCOPED_TRACE(message);
        const ProcessResult r = merge(parts, "csv");
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    }
}

TEST_F(MergeTest, AFrameLossAtASeamCountsOnce) {
    // Frames lost just before frame 24: the second part met the loss in its warm-up, the first
    // read up to it after its last frame. Both tell of it; the whole run has it once.
    segment("a.jsonl", 0, 24);
    segment("b.jsonl", 24, kFrames - 24);
    const auto lostBefore24 = [](json& r, int) {
        if (r["type"] != "summary") return;
        r["events"].push_back({{"type", "decode_error"}, {"start_frame", 24}, {"end_frame", 24}, {"end_time", 0.96},
                               {"duration", 0.04}});
        r["run"]["decode_errors"] = 1;
    };
    rewrite("a.jsonl", "la.jsonl", lostBefore24);
    rewrite("b.jsonl", "lb.jsonl", lostBefore24);
    for (const auto& parts : {std::vector<std::string>{"la.jsonl", "lb.jsonl"}, {"a.jsonl", "lb.jsonl"}}) {
        SCOPED_TRACE(parts[0]);
        const ProcessResult merged = merge(parts);
        ASSERT_EQ(merged.status, 0) << merged.err;
        int losses = 0;
        for (const json& e : events(merged.out)) losses += e["type"] == "decode_error" && e["start_frame"] == 24;
        EXPECT_EQ(losses, 1);
    }
}

TEST_F(MergeTest, FrameNumbersOutsideTheRangeOfRunsAreRefused) {
    segment("a.jsonl", 0, kFrames);
    const std::string a = readFile(dir.path / "a.jsonl");
    const std::string second = "{\"type\":\"frame\",\"frame\":1,";
    ASSERT_NE(a.find(second), std::string::npos);
    for (const char* frame : {"9223372036854775807", "1e300", "-1", "2147483648", "1.5"}) {
        SCOPED_TRACE(frame);
        std::string bad = a;
        bad.replace(bad.find(second), second.size(), "{\"type\":\"frame\",\"frame\":" + std::string(frame) + ",");
        writeFile(dir.path / "bad.jsonl", bad);
        const ProcessResult r = merge({"bad.jsonl"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("is not a whole number from 0 to 2147483647"), std::string::npos) << r.err;
    }
}

TEST_F(MergeTest, ASeverityNoRunWritesIsRefused) {
    segment("a.jsonl", 0, kFrames);
    rewrite("a.jsonl", "bad.jsonl", [](json& record, int) {
        if (record["type"] == "header") record["settings"]["events"]["severity"]["black"] = "fatal";
    });
    const ProcessResult r = merge({"bad.jsonl"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.jsonl:1: unknown severity \"fatal\" of black"), std::string::npos) << r.err;
}

TEST_F(MergeTest, SignalsStopItWithoutAWholeOutput) {
    segment("a.jsonl", 0, 24);
    segment("b.jsonl", 24, kFrames - 24);
    for (const char* signal : {"INT", "TERM"}) {
        SCOPED_TRACE(signal);
        // The second part comes through a pipe that is written only after the signal.
        const ProcessResult r = runProcess(
            "/bin/sh",
            {"-c",
             std::string("rm -f fifo out.jsonl; mkfifo fifo; \"$PROBE\" merge -o out.jsonl a.jsonl fifo & pid=$!; "
                         "exec 3>fifo; kill -") +
                 signal + " $pid; cat b.jsonl >&3; exec 3>&-; wait $pid"},
            dir.path, {std::string("PROBE=") + FRAMEPROBE_BINARY});
        EXPECT_EQ(r.status, std::string(signal) == "INT" ? 130 : 143) << r.err;
        const std::string out = std::filesystem::exists(dir.path / "out.jsonl") ? readFile(dir.path / "out.jsonl") : "";
        EXPECT_EQ(out.find("\"type\":\"summary\""), std::string::npos);
    }
}

}  // namespace
