// The JSON and JSON Lines sinks, read back with a JSON library.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <sstream>

#include "indicators/registry.h"
#include "output/json_sink.h"
#include "output/jsonl_sink.h"
#include "analysis/run_record.h"
#include "rows/tee_sink.h"
#include "sink_capture.h"
#include "test_support.h"

using nlohmann::json;

namespace {

int indexOf(const char* key) { return *findIndicator(key); }

// Runs the rows through a run record and a JSON sink, and parses the document.
json runJson(const RunInfo& info, const std::vector<CapturedRow>& rows, RunEnd end = {}) {
    Capture capture;
    RunRecord record;
    JsonSink json(capture.file(), record);
    TeeSink tee{&record, &json};
    feed(tee, info, rows, end);
    return json::parse(capture.text());
}

Results allWritten(double value) {
    Results r;
    for (int i = 0; i < kIndicatorCount; ++i) r.set(i, value);
    return r;
}

TEST(JsonSink, ValuesReadBackAsTheSameDoubles) {
    const double tricky[] = {0.1, 1e-300, 5e-324, 1.0 / 3.0, 1.7976931348623157e308, -2.5, 0.0, 123456789.125};
    std::vector<CapturedRow> rows;
    for (std::size_t f = 0; f < std::size(tricky); ++f)
        rows.push_back({static_cast<int64_t>(f), allWritten(tricky[f])});
    const json doc = runJson(everyIndicator(), rows);
    ASSERT_EQ(doc["frames"].size(), std::size(tricky));
    for (std::size_t f = 0; f < std::size(tricky); ++f)
        for (const IndicatorDescriptor& d : indicatorRegistry())
            EXPECT_EQ(doc["frames"][f][d.key].get<double>(), tricky[f]) << d.key << " frame " << f;
}

TEST(JsonSink, NoValueIsNull) {
    Results r;
    r.set(indexOf("blockiness"), std::numeric_limits<double>::quiet_NaN());
    r.set(indexOf("blur"), std::numeric_limits<double>::infinity());
    r.set(indexOf("noise"), -std::numeric_limits<double>::infinity());
    r.set(indexOf("block_loss"), -1.0);
    r.set(indexOf("flickering"), -1.0);
    r.set(indexOf("contrast"), -1.0);  // -1 is a value where it is not the entry's marker
    const json frame = runJson(everyIndicator(), {{0, r}})["frames"][0];
    for (const char* key : {"blockiness", "blur", "noise", "block_loss", "flickering", "slice"})
        EXPECT_TRUE(frame[key].is_null()) << key;
    EXPECT_EQ(frame["contrast"], -1.0);
}

TEST(JsonSink, FrameTimeAndExposureAsComputed) {
    Results r;
    r.set(indexOf("exposure"), 127.75);
    const json frame = runJson(everyIndicator(25), {{50, r}})["frames"][0];
    EXPECT_EQ(frame["frame"], 50);
    EXPECT_EQ(frame["time"], 2.0);
    EXPECT_EQ(frame["exposure"], 127.75);
}

TEST(JsonSink, HeaderDescribesInputAndSettings) {
    RunInfo info = everyIndicator();
    info.mask = 1u << indexOf("blur") | 1u << indexOf("blackout");
    info.frameCount.reset();
    info.startFrame = 7;
    const json doc = runJson(info, {});
    EXPECT_EQ(doc["schema_version"], 1);
    EXPECT_TRUE(doc["frameprobe"].is_string());
    EXPECT_EQ(doc["input"]["width"], 352);
    EXPECT_EQ(doc["input"]["first_frame"], 7);
    EXPECT_TRUE(doc["input"]["frame_count"].is_null());
    EXPECT_EQ(doc["settings"]["indicators"], json::array({"blur", "blackout"}));
    EXPECT_EQ(doc["settings"]["events"]["min_duration"]["black"], 0);
    EXPECT_EQ(doc["frames"], json::array());
    EXPECT_EQ(doc["interrupted"], false);
}

TEST(JsonSink, PathsWithAnyBytesStayValidJson) {
    RunInfo info = everyIndicator();
    info.path = std::string("dir\\\"quoted\"\n\ttab\x01\x7f caf\xc3\xa9 bad\xff\xc3 end");
    const json doc = runJson(info, {});
    EXPECT_EQ(doc["input"]["path"], "dir\\\"quoted\"\n\ttab\x01\x7f caf\xc3\xa9 bad\xef\xbf\xbd\xef\xbf\xbd end");
}

TEST(JsonSink, InvalidUtf8FormsAreReplaced) {
    RunInfo info = everyIndicator();
    // An overlong slash, a surrogate, and a value past U+10FFFF.
    info.path = "\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80";
    const std::string path = runJson(info, {})["input"]["path"];
    EXPECT_EQ(path.find_first_not_of("\xef\xbf\xbd|"), std::string::npos) << path;
}

TEST(JsonSink, SummaryEventsAndRunAtTheEnd) {
    RunInfo info = everyIndicator();
    info.mask = 1u << indexOf("blur") | 1u << indexOf("blackout");
    std::vector<CapturedRow> rows;
    for (int f = 0; f < 4; ++f) {
        Results r;
        r.set(indexOf("blur"), f);
        r.set(indexOf("blackout"), f >= 2 ? 1 : 0);
        rows.push_back({f, r});
    }
    const json doc = runJson(info, rows, RunEnd{4, 2.0, true});
    EXPECT_EQ(doc["summary"]["blur"]["count"], 4);
    EXPECT_EQ(doc["summary"]["blur"]["max"], 3);
    EXPECT_EQ(doc["summary"]["blur"]["worst"][0], json({{"frame", 3}, {"value", 3}}));
    EXPECT_FALSE(doc["summary"].contains("noise"));
    ASSERT_EQ(doc["events"].size(), 1u);
    EXPECT_EQ(doc["events"][0]["type"], "black");
    EXPECT_EQ(doc["events"][0]["start_frame"], 2);
    EXPECT_EQ(doc["run"]["threads"], 2);
    EXPECT_EQ(doc["run"]["fps"], 2.0);
    EXPECT_EQ(doc["interrupted"], true);
}

TEST(JsonSink, EmptySummaryStatisticsAreNull) {
    RunInfo info = everyIndicator();
    info.mask = 1u << indexOf("flickering");
    Results r;
    r.set(indexOf("flickering"), -1.0);
    const json blur = runJson(info, {{0, r}})["summary"]["flickering"];
    EXPECT_EQ(blur["count"], 0);
    EXPECT_TRUE(blur["p95"].is_null());
    EXPECT_EQ(blur["worst"], json::array());
}

TEST(OutputDocs, DescribeEveryKey) {
    const std::string docs = readFile(std::filesystem::path(FRAMEPROBE_GOLDEN_DIR) / "../../docs/output.md");
    for (const IndicatorDescriptor& d : indicatorRegistry())
        EXPECT_NE(docs.find(std::string("| `") + d.key + "`"), std::string::npos) << d.key;
}

TEST(JsonlSink, HeaderFramesAndTrailerEachOnALine) {
    Capture capture;
    RunRecord record;
    JsonlSink jsonl(capture.file(), record);
    TeeSink tee{&record, &jsonl};
    // Two runs in one stream: records stay whole lines.
    feed(tee, everyIndicator(), {{0, allWritten(0.5)}, {1, allWritten(0.25)}});
    feed(tee, everyIndicator(), {{0, allWritten(1)}});
    std::istringstream lines(capture.text());
    std::vector<std::string> types;
    std::vector<json> records;
    for (std::string line; std::getline(lines, line);) {
        records.push_back(json::parse(line));
        types.push_back(records.back()["type"]);
    }
    EXPECT_EQ(types, (std::vector<std::string>{"header", "frame", "frame", "summary", "header", "frame", "summary"}));
    EXPECT_EQ(records[0]["schema_version"], 1);
    EXPECT_EQ(records[2]["blur"], 0.25);
    EXPECT_EQ(records[3]["summary"]["blur"]["count"], 2);
    EXPECT_EQ(records[6]["summary"]["blur"]["count"], 1);
    EXPECT_EQ(records[3]["interrupted"], false);
}

TEST(JsonSink, FailedWriteThrowsNamingTheFile) {
    const int full = open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    OutputFile out(full, "out.json", true);
    RunRecord record;
    JsonSink json(out, record);
    try {
        feed(json, everyIndicator(), {{0, allWritten(1)}});
        FAIL() << "no WriteError";
    } catch (const WriteError& e) {
        EXPECT_STREQ(e.what(), "cannot write out.json: No space left on device");
    }
}

TEST(OutputFileTest, CreationFailureNamesThePath) {
    try {
        OutputFile::open("/nonexistent-folder/out.csv");
        FAIL() << "no WriteError";
    } catch (const WriteError& e) {
        EXPECT_STREQ(e.what(), "cannot create /nonexistent-folder/out.csv: No such file or directory");
    }
}

}  // namespace
