// `frameprobe merge` with the real binary: parts of a run joined in any order
// give the whole run's output; parts that do not make one run are refused.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
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
        {{"gap.jsonl", "a.jsonl"}, "frames 10-11 are missing between a.jsonl (frames 0-9) and gap.jsonl (frames 12-19)"},
        {{"a.jsonl", "overlap.jsonl"}, "a.jsonl (frames 0-9) and overlap.jsonl (frames 5-14) overlap at frames 5-9"},
        {{"a.jsonl", "other.jsonl"}, "a.jsonl and other.jsonl are not parts of one run: input \"clip.yuv\" / \"other.yuv\""},
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
    EXPECT_EQ(merge({"a.jsonl", "b.jsonl"}).status, 0);
}

}  // namespace
