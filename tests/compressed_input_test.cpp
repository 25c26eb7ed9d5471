// Compressed containers through the real binary: segments that seek give the
// whole run's rows, rows carry presentation times, what a decoder loses is
// recorded the same way on any number of CPUs, containers come through pipes,
// and FFmpeg's messages follow -q and --ffmpeg-log.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <algorithm>
#include <functional>
#include <sstream>

#include "ffmpeg_fixtures.h"
#include "test_support.h"

namespace {

using nlohmann::json;

// CSV rows without the header.
std::vector<std::string> csvRows(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> rows;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) rows.push_back(line);
    return rows;
}

class CompressedInputTest : public ::testing::Test {
protected:
    void SetUp() override { SKIP_WITHOUT_FFMPEG(); }
    ProcessResult probe(const std::vector<std::string>& args) { return runProcess(FRAMEPROBE_BINARY, args, dir.path); }
    ProcessResult shell(const std::string& command) {
        return runProcess("/bin/sh", {"-c", command}, dir.path, {std::string("PROBE=") + FRAMEPROBE_BINARY});
    }
    // H.264 with B-frames and open GOPs of 12 frames, from ffmpeg's test pattern.
    bool encode(const std::string& name, int frames, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"-f", "lavfi", "-i", "testsrc2=size=96x64:rate=25", "-frames:v",
                                      std::to_string(frames), "-c:v", "libx264", "-g", "12", "-bf", "3",
                                      "-x264-params", "open-gop=1:log-level=error"};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(name);
        return runFfmpeg(dir.path, args);
    }
    json jsonRun(const std::string& input, std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--no-log", "-q", "--format", "json", input};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult r = probe(args);
        EXPECT_EQ(r.status, 0) << r.err;
        return r.status == 0 ? json::parse(r.out) : json::object();
    }
    TempDir dir;
};

TEST_F(CompressedInputTest, SegmentsThatSeekGiveTheWholeRunsRows) {
    ASSERT_TRUE(encode("clip.mkv", 50));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.mkv", "-c", "copy", "clip.mp4"}));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.mkv", "-c", "copy", "clip.ts"}));
    for (const char* file : {"clip.mkv", "clip.mp4", "clip.ts"}) {
        const ProcessResult whole = probe({"--no-log", "-q", "--format", "csv", file});
        ASSERT_EQ(whole.status, 0) << whole.err;
        const std::vector<std::string> rows = csvRows(whole.out);
        ASSERT_EQ(rows.size(), 50u);
        // Key frames (12, 24), the frames around them, B-frames of open GOPs, and the last frame.
        for (int start : {11, 12, 25, 30, 49}) {
            SCOPED_TRACE(std::string(file) + " from " + std::to_string(start));
            const ProcessResult part =
                probe({"--no-log", "--format", "csv", "--origin", "0", "--start", std::to_string(start), "--frames",
                       std::to_string(std::min(4, 50 - start)), file});
            ASSERT_EQ(part.status, 0) << part.err;
            // It went there by seeking, not by decoding every frame before it (a range past the
            // end would say so too).
            EXPECT_EQ(part.err, "");
            const std::vector<std::string> expected(rows.begin() + start, rows.begin() + std::min(start + 4, 50));
            EXPECT_EQ(csvRows(part.out), expected);
        }
    }
    // With a warm-up of one frame, starts two key frames past the first: MP4 finds them from its index.
    const std::vector<std::string> rows =
        csvRows(probe({"--no-log", "-q", "--format", "csv", "--indicators", "blur,temporal_activity", "clip.mp4"}).out);
    ASSERT_EQ(rows.size(), 50u);
    // From the last GOP's key frame on too, whose frames an open GOP's decoder held back.
    for (int start : {24, 34, 36, 47, 48, 49}) {
        SCOPED_TRACE(std::string("clip.mp4, one frame of warm-up, from ") + std::to_string(start));
        const ProcessResult part =
            probe({"--no-log", "-q", "--format", "csv", "--indicators", "blur,temporal_activity", "--origin", "0",
                   "--start", std::to_string(start), "--frames", "3", "clip.mp4"});
        EXPECT_EQ(csvRows(part.out),
                  std::vector<std::string>(rows.begin() + start, rows.begin() + std::min(start + 3, 50)));
    }    // A stream without time stamps is decoded from its start, and says so.
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.mkv", "-c", "copy", "clip.h264"}));
    const ProcessResult raw = probe({"--no-log", "--format", "csv", "--indicators", "blur,temporal_activity",
                                     "--origin", "0", "--start", "45", "--frames", "3", "clip.h264"});
    EXPECT_EQ(raw.err, "clip.h264: the frames before frame 44 are decoded to reach it\n");
    EXPECT_EQ(csvRows(raw.out), std::vector<std::string>(rows.begin() + 45, rows.begin() + 48));
}

// A cut made without re-encoding keeps the packets from the key frame before the cut, and its
// edit list has the decoder drop those shown before it: they are neither frames nor losses.
TEST_F(CompressedInputTest, FramesAnEditListDropsAreNeitherCountedNorLost) {
    ASSERT_TRUE(encode("clip.mp4", 50));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-ss", "0.3", "-i", "clip.mp4", "-c", "copy", "cut.mp4"}));
    const json whole = jsonRun("cut.mp4");
    ASSERT_TRUE(whole.contains("run"));
    EXPECT_EQ(whole["run"]["decode_errors"], 0);
    EXPECT_EQ(whole["run"]["frames_expected"], whole["run"]["frames"]);
    EXPECT_EQ(whole["input"]["frame_count"], whole["run"]["frames"]);

    const std::vector<std::string> rows = csvRows(probe({"--no-log", "-q", "--format", "csv", "cut.mp4"}).out);
    ASSERT_GT(rows.size(), 30u);
    for (int start : {1, 4, 5, 17, static_cast<int>(rows.size()) - 2}) {
        SCOPED_TRACE("cut.mp4 from " + std::to_string(start));
        const ProcessResult part = probe({"--no-log", "-q", "--format", "csv", "--origin", "0", "--start",
                                          std::to_string(start), "--frames", "2", "cut.mp4"});
        EXPECT_EQ(csvRows(part.out), std::vector<std::string>(rows.begin() + start, rows.begin() + start + 2));
    }
}

TEST_F(CompressedInputTest, ContainerRowsCarryPresentationTimes) {
    // Ten frames at 25 fps, then a second's pause before ten more.
    ASSERT_TRUE(encode("vfr.mkv", 20, {"-vf", "setpts='(N+if(gte(N,10),25,0))/25/TB'", "-fps_mode", "vfr"}));
    const json run = jsonRun("vfr.mkv", {"--fps", "50"});
    ASSERT_EQ(run["frames"].size(), 20u);
    EXPECT_DOUBLE_EQ(run["frames"][9]["time"].get<double>(), 0.36);
    EXPECT_DOUBLE_EQ(run["frames"][10]["time"].get<double>(), 1.4);
    EXPECT_DOUBLE_EQ(run["frames"][19]["time"].get<double>(), 1.76);
    // A pause is not damage.
    EXPECT_EQ(run["run"]["decode_errors"], 0);
    // Events are timed by their frames' presentation times.
    for (const json& e : run["events"])
        EXPECT_EQ(e["start_time"], run["frames"][e["start_frame"].get<std::size_t>()]["time"]) << e;
    const ProcessResult csv = probe({"--no-log", "-q", "--format", "csv", "vfr.mkv"});
    EXPECT_EQ(csvRows(csv.out)[10].substr(0, 7), "10,1.4,");
    // AVI's time stamps count packets in decode order, which B-frames reorder: its frames are timed by
    // the frame rate, in a segment as in the whole run.
    ASSERT_TRUE(runFfmpeg(dir.path, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-frames:v", "12", "-c:v",
                                     "mpeg4", "-bf", "2", "clip.avi"}));
    const std::vector<std::string> avi = csvRows(probe({"--no-log", "-q", "--format", "csv", "clip.avi"}).out);
    ASSERT_EQ(avi.size(), 12u);
    EXPECT_EQ(avi[0].substr(0, 4), "0,0,");
    EXPECT_EQ(avi[11].substr(0, 8), "11,0.44,");
    const ProcessResult aviPart =
        probe({"--no-log", "-q", "--format", "csv", "--origin", "0", "--start", "10", "clip.avi"});
    EXPECT_EQ(csvRows(aviPart.out), std::vector<std::string>(avi.begin() + 10, avi.end()));
    // H.264 copied into AVI has an empty packet after every frame, which the header counts and
    // the stated average rate with it: neither makes frames.
    ASSERT_TRUE(encode("h264.mp4", 12));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "h264.mp4", "-c", "copy", "h264.avi"}));
    const json copied = jsonRun("h264.avi", {"--fail-on", "decode_errors>0"});
    EXPECT_EQ(copied["run"]["frames_expected"], 12);
    ASSERT_EQ(copied["frames"].size(), 12u);
    EXPECT_DOUBLE_EQ(copied["frames"][11]["time"].get<double>(), 0.44);
    // Raw input keeps the time its frame rate gives.
    ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"clip.y4m", "32", "32", "3"}, dir.path).status, 0);
    EXPECT_DOUBLE_EQ(jsonRun("clip.y4m", {"--fps", "50"})["frames"][2]["time"].get<double>(), 0.04);
}

TEST_F(CompressedInputTest, LostFramesAreRecordedAlikeOnAnyNumberOfCpus) {
    ASSERT_TRUE(encode("clip.ts", 50));
    // A stretch of the transport stream overwritten, and an MP4 cut in the middle of its data.
    std::string ts = readFile(dir.path / "clip.ts");
    for (std::size_t i = ts.size() / 3; i < ts.size() / 3 + 6000; ++i) ts[i] = static_cast<char>(ts[i] * 7 + 13);
    writeFile(dir.path / "damaged.ts", ts);
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.ts", "-c", "copy", "-movflags", "+faststart", "whole.mp4"}));
    const std::string mp4 = readFile(dir.path / "whole.mp4");
    writeFile(dir.path / "cut.mp4", mp4.substr(0, mp4.size() / 2));
    // A packet dropped from a whole MP4: nothing is damaged in what the demuxer reads, but a
    // frame is missing and the frames predicted from it are broken until the next key frame.
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.ts", "-c", "copy", "-bsf:v", "noise=drop=eq(n\\,30)", "dropped.mp4"}));
    const bool taskset = shell("command -v taskset").status == 0;
    for (const char* file : {"damaged.ts", "cut.mp4", "dropped.mp4"}) {
        SCOPED_TRACE(file);
        const json run = jsonRun(file);
        const int64_t lost = run["run"]["decode_errors"];
        EXPECT_GT(lost, 0);
        if (std::string(file) != "cut.mp4") {
            EXPECT_GT(run["run"]["damaged_frames"], 0);
        }
        // Lost and damaged frames fail every shipped profile.
        EXPECT_EQ(probe({"--no-log", "-q", "-o", "/dev/null", "--profile", "default", file}).status, 3);
        int64_t inEvents = 0;
        for (const json& e : run["events"]) {
            if (e["type"] != "decode_error") continue;
            // Where the input broke: the time of the first frame after the break.
            const auto after = e["end_frame"].get<std::size_t>();
            if (after < run["frames"].size()) {
                EXPECT_EQ(e["end_time"], run["frames"][after]["time"]);
            }
            ++inEvents;
        }
        EXPECT_GT(inEvents, 0);
        EXPECT_LE(run["frames"].size() + static_cast<std::size_t>(lost), 50u);
        EXPECT_EQ(probe({"--no-log", "-q", "-o", "/dev/null", "--fail-on", "decode_errors>0", file}).status, 3);
        // The decoder's threads follow the run's threads, by default the CPUs the process may use.
        const std::string args = std::string(" --no-log -q --format json ") + file;
        const ProcessResult all = shell("$PROBE" + args);
        const json b = json::parse(all.out);
        for (const char* held : {"$PROBE --threads 1", "taskset -c 0 $PROBE"}) {
            if (held[0] == 't' && !taskset) continue;
            SCOPED_TRACE(held);
            const ProcessResult one = shell(held + args);
            EXPECT_EQ(one.status, all.status);
            const json a = json::parse(one.out);
            EXPECT_EQ(a["frames"], b["frames"]);
            EXPECT_EQ(a["events"], b["events"]);
        }
    }
    // Concealed damage is the same picture and the same judgement on one thread and on two, run after
    // run (frame threads mend it by chance: a run in three or so differed).
    std::string zeroed = mp4;
    std::fill(zeroed.begin() + static_cast<std::ptrdiff_t>(mp4.size() / 2),
              zeroed.begin() + static_cast<std::ptrdiff_t>(mp4.size() / 2 + 2000), '\0');
    writeFile(dir.path / "zeroed.mp4", zeroed);
    const json one = jsonRun("zeroed.mp4", {"--threads", "1"});
    ASSERT_GT(one["run"]["damaged_frames"], 0);
    for (int run = 0; run < 8; ++run) {
        const json two = jsonRun("zeroed.mp4", {"--threads", "2"});
        ASSERT_EQ(two["frames"], one["frames"]) << run;
        ASSERT_EQ(two["events"], one["events"]) << run;
    }
    // Frame threads by name: the same frames and losses, faster, without that promise on damage.
    const json threaded = jsonRun("zeroed.mp4", {"--decoder-threads", "2"});
    EXPECT_EQ(threaded["frames"].size(), one["frames"].size());
    EXPECT_EQ(threaded["run"]["decode_errors"], one["run"]["decode_errors"]);
    const ProcessResult none = probe({"--decoder-threads", "0", "zeroed.mp4"});
    EXPECT_EQ(none.status, 2);
    EXPECT_NE(none.err.find("invalid decoder thread count \"0\""), std::string::npos) << none.err;
}

// A frame missing from the container stands where it was shown: before the first frame shown after
// it, in a whole run as in segments split anywhere around it, whose merge is the whole run.
TEST_F(CompressedInputTest, AFrameLostFromTheContainerStandsWhereItWasShown) {
    ASSERT_TRUE(encode("clip.ts", 50));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.ts", "-c", "copy", "-bsf:v", "noise=drop=eq(n\\,20)", "one.mp4"}));
    ASSERT_TRUE(
        runFfmpeg(dir.path, {"-i", "clip.ts", "-c", "copy", "-bsf:v", "noise=drop=eq(n\\,30)+eq(n\\,31)", "two.ts"}));
    const json one = jsonRun("one.mp4", {"--indicators", "blur"});
    std::vector<json> losses;
    for (const json& e : one["events"])
        if (e["type"] == "decode_error") losses.push_back(e);
    ASSERT_EQ(losses.size(), 1u);
    // The frame after the leap in the presentation times.
    const json& frames = one["frames"];
    std::size_t after = 1;
    while (after < frames.size() &&
           frames[after]["time"].get<double>() - frames[after - 1]["time"].get<double>() < 0.06)
        ++after;
    EXPECT_EQ(losses[0]["end_frame"], after);

    const auto losing = [](const std::string& jsonl) {
        std::istringstream in(jsonl);
        json found;
        for (std::string line; std::getline(in, line);) {
            const json record = json::parse(line);
            if (!record.contains("run")) continue;
            found["lost"] = record["run"]["decode_errors"];
            for (const json& e : record["events"])
                if (e["type"] == "decode_error") found["at"].push_back(e["end_frame"]);
        }
        return found;
    };
    // Two segments split at each place merge to what the whole run found.
    const auto splitsAgree = [&](const std::string& file, int lost, std::initializer_list<int> splits) {
        const ProcessResult whole = probe({"--no-log", "-q", "--format", "jsonl", "--indicators", "blur", file});
        ASSERT_EQ(losing(whole.out)["lost"], lost) << file;
        for (int split : splits) {
            SCOPED_TRACE(file + " split at " + std::to_string(split));
            ASSERT_EQ(probe({"-q", "--format", "jsonl", "--indicators", "blur", "--origin", "0", "--frames",
                             std::to_string(split), "-o", "a.jsonl", file}).status, 0);
            ASSERT_EQ(probe({"-q", "--format", "jsonl", "--indicators", "blur", "--origin", "0", "--start",
                             std::to_string(split), "-o", "b.jsonl", file}).status, 0);
            const ProcessResult merged = probe({"merge", "a.jsonl", "b.jsonl"});
            ASSERT_EQ(merged.status, 0) << merged.err;
            EXPECT_EQ(losing(merged.out), losing(whole.out));
        }
    };
    splitsAgree("two.ts", 2, {29, 30, 32, 33});
    // Groups of two pictures: a segment starting just before the loss decodes from a key frame
    // only a packet or two earlier, and must still know the rhythm of the decode stamps before it.
    ASSERT_TRUE(encode("short.ts", 50, {"-g", "2", "-bf", "0"}));
    for (const char* file : {"short-lost.ts", "short-lost.mp4"}) {
        ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "short.ts", "-c", "copy", "-bsf:v", "noise=drop=eq(n\\,30)", file}));
        splitsAgree(file, 1, {29, 30});
    }
}

// Damage can garble a packet's time stamps, or have the decoder give a frame after frames shown later:
// neither makes frames lost that are not, nor a lost frame count twice.
TEST_F(CompressedInputTest, EachLostFrameCountsOnce) {
    ASSERT_TRUE(encode("clip.ts", 50));
    // The time stamps of the 30th packet (past the demuxer's probe) damaged by `damage`, given the
    // offset of its PES header, and the next transport packet of its stream out of sequence, as the
    // demuxer reports.
    const std::string clean = readFile(dir.path / "clip.ts");
    const auto damaged = [&](const std::function<void(std::string&, std::size_t)>& damage) {
        std::string ts = clean;
        int pes = 0, pid = -1;
        for (std::size_t p = 0; p + 188 <= ts.size(); p += 188) {
            const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(ts[p + i]); };
            if (pid >= 0 && ((byte(1) & 0x1f) << 8 | byte(2)) == pid) {
                ts[p + 3] = static_cast<char>(byte(3) ^ 0x01);
                break;
            }
            if (byte(0) != 0x47 || !(byte(1) & 0x40)) continue;
            const std::size_t o = 4 + ((byte(3) & 0x20) ? 1 + byte(4) : 0);
            if (ts.compare(p + o, 4, std::string("\0\0\1\xe0", 4)) != 0 || (byte(o + 7) & 0xc0) != 0xc0 || ++pes != 30)
                continue;
            damage(ts, p + o);
            pid = (byte(1) & 0x1f) << 8 | byte(2);
        }
        EXPECT_GE(pid, 0);
        return ts;
    };
    // A decode time stamp far past the presentation one (bit 29 set), and none at all.
    writeFile(dir.path / "late.ts", damaged([](std::string& ts, std::size_t pes) { ts[pes + 15] ^= '\x80'; }));
    writeFile(dir.path / "none.ts", damaged([](std::string& ts, std::size_t pes) { ts[pes + 7] &= '\x3f'; }));
    for (const char* file : {"late.ts", "none.ts"}) {
        SCOPED_TRACE(file);
        const json stamps = jsonRun(file);
        EXPECT_EQ(stamps["frames"].size(), 50u);
        EXPECT_EQ(stamps["run"]["decode_errors"], 0);
    }

    // A stretch of Matroska overwritten: after it, the decoder gives frames out of their order.
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.ts", "-c", "copy", "clip.mkv"}));
    std::string mkv = readFile(dir.path / "clip.mkv");
    for (std::size_t i = mkv.size() / 3; i < mkv.size() / 3 + 3000; ++i) mkv[i] = static_cast<char>(mkv[i] * 7 + 13);
    writeFile(dir.path / "damaged.mkv", mkv);
    const json one = jsonRun("damaged.mkv", {"--threads", "1"});
    const json two = jsonRun("damaged.mkv", {"--threads", "2"});
    ASSERT_TRUE(one.contains("run"));
    EXPECT_GT(one["run"]["decode_errors"], 0);
    EXPECT_EQ(one["frames"].size() + one["run"]["decode_errors"].get<std::size_t>(), 50u);
    for (std::size_t i = 1; i < one["frames"].size(); ++i)
        EXPECT_LT(one["frames"][i - 1]["time"].get<double>(), one["frames"][i]["time"].get<double>()) << i;
    EXPECT_EQ(one["events"], two["events"]);
}

TEST_F(CompressedInputTest, MergedSegmentsCarryTheirDecodeErrorsAndAreGatedByThem) {
    ASSERT_TRUE(encode("clip.ts", 50));
    std::string ts = readFile(dir.path / "clip.ts");
    for (std::size_t i = ts.size() / 3; i < ts.size() / 3 + 6000; ++i) ts[i] = static_cast<char>(ts[i] * 7 + 13);
    writeFile(dir.path / "damaged.ts", ts);
    const auto withoutTiming = [](const std::string& jsonl) {
        std::istringstream in(jsonl);
        std::vector<json> records;
        for (std::string line; std::getline(in, line);) {
            records.push_back(json::parse(line));
            if (records.back().contains("run"))
                for (const char* timing : {"seconds", "fps", "threads"}) records.back()["run"].erase(timing);
            // The transport checks read the whole stream's bytes, which no segment reads: merge leaves them out.
            if (records.back().contains("transport")) {
                records.back().erase("transport");
                json& events = records.back()["events"];
                events.erase(std::remove_if(events.begin(), events.end(),
                                            [](const json& e) { return e["type"] == "transport"; }),
                             events.end());
            }
        }
        return records;
    };
    const ProcessResult whole = probe({"--no-log", "-q", "--format", "jsonl", "damaged.ts"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_NE(whole.out.find("\"decode_error\""), std::string::npos);
    // The frames lost stand before frame 15, where a part starts; the last part runs to the end.
    const std::vector<int> starts{0, 15, 30};
    std::vector<std::string> args{"merge", "--fail-on", "decode_errors>0"};
    for (std::size_t k = 0; k < starts.size(); ++k) {
        const std::string part = "part" + std::to_string(k) + ".jsonl";
        std::vector<std::string> run{"-q", "--format", "jsonl", "--origin", "0", "--start", std::to_string(starts[k]),
                                     "-o", part, "damaged.ts"};
        if (k + 1 < starts.size()) run.insert(run.end(), {"--frames", std::to_string(starts[k + 1] - starts[k])});
        ASSERT_EQ(probe(run).status, 0) << part;
        args.push_back(part);
    }
    const ProcessResult merged = probe(args);
    EXPECT_EQ(merged.status, 3) << merged.err;
    EXPECT_NE(merged.err.find("decode_errors>0 (decode_errors = "), std::string::npos) << merged.err;
    // Apart from the verdict the condition adds, the whole run's output.
    std::vector<json> records = withoutTiming(merged.out);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records.back()["verdict"]["status"], "fail");
    records.back()["verdict"] = nullptr;
    EXPECT_EQ(records, withoutTiming(whole.out));

    // An MP4 cut in the middle still states all its frames: the last part, whose input ended before
    // them, ends where the whole run does.
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.ts", "-c", "copy", "-movflags", "+faststart", "whole.mp4"}));
    const std::string mp4 = readFile(dir.path / "whole.mp4");
    writeFile(dir.path / "cut.mp4", mp4.substr(0, mp4.size() / 2));
    const ProcessResult cut = probe({"--no-log", "-q", "--format", "jsonl", "cut.mp4"});
    ASSERT_EQ(cut.status, 0) << cut.err;
    ASSERT_EQ(
        probe({"-q", "--format", "jsonl", "--origin", "0", "--frames", "10", "-o", "cut0.jsonl", "cut.mp4"}).status, 0);
    ASSERT_EQ(
        probe({"-q", "--format", "jsonl", "--origin", "0", "--start", "10", "-o", "cut1.jsonl", "cut.mp4"}).status, 0);
    const ProcessResult joined = probe({"merge", "cut0.jsonl", "cut1.jsonl"});
    EXPECT_EQ(joined.status, 0) << joined.err;
    EXPECT_EQ(withoutTiming(joined.out), withoutTiming(cut.out));

    // Frames its decoder rejects take no numbers in a whole run, which a segment after them cannot
    // know: it starts on pictures the part before has, and the merge refuses the overlap.
    std::string zeroed = mp4;
    std::fill(zeroed.begin() + static_cast<std::ptrdiff_t>(mp4.size() / 2),
              zeroed.begin() + static_cast<std::ptrdiff_t>(mp4.size() / 2 + 2000), '\0');
    writeFile(dir.path / "zeroed.mp4", zeroed);
    ASSERT_EQ(probe({"-q", "--format", "jsonl", "--indicators", "blur", "--origin", "0", "--frames", "30", "-o",
                     "zeroed0.jsonl", "zeroed.mp4"}).status, 0);
    probe({"-q", "--format", "jsonl", "--indicators", "blur", "--origin", "0", "--start", "30", "-o", "zeroed1.jsonl",
           "zeroed.mp4"});
    // The frame the part starts on was lost: the part counts it, before its first frame.
    const std::vector<json> tail = withoutTiming(readFile(dir.path / "zeroed1.jsonl"));
    ASSERT_FALSE(tail.empty());
    EXPECT_EQ(tail.back()["run"]["decode_errors"], 1);
    const ProcessResult overlap = probe({"merge", "zeroed0.jsonl", "zeroed1.jsonl"});
    EXPECT_EQ(overlap.status, 1);
    EXPECT_NE(overlap.err.find("lost frames before it"), std::string::npos) << overlap.err;
}

TEST_F(CompressedInputTest, ContainersComeThroughStandardInput) {
    ASSERT_TRUE(encode("clip.mkv", 10));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.mkv", "-c", "copy", "-movflags", "+faststart", "clip.mp4"}));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.mkv", "-c", "copy", "clip.ts"}));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.mkv", "-c", "copy", "clip.nut"}));
    for (const char* file : {"clip.mp4", "clip.ts", "clip.mkv", "clip.nut"}) {
        SCOPED_TRACE(file);
        const ProcessResult direct = probe({"--no-log", "-q", "--format", "csv", file});
        ASSERT_EQ(direct.status, 0) << direct.err;
        const ProcessResult piped = shell(std::string("cat ") + file + " | $PROBE --no-log -q --format csv -");
        EXPECT_EQ(piped.status, 0) << piped.err;
        EXPECT_EQ(piped.out, direct.out);
        // From a pipe, a start is reached by decoding forward.
        const ProcessResult tail =
            shell(std::string("cat ") + file + " | $PROBE --no-log -q --format csv --origin 0 --start 6 -");
        const std::vector<std::string> rows = csvRows(direct.out);
        EXPECT_EQ(csvRows(tail.out), std::vector<std::string>(rows.begin() + 6, rows.end()));
    }
    // An MP4 whose index follows its data cannot be read front to back, small as it is.
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.mkv", "-c", "copy", "end.mp4"}));
    const ProcessResult end = shell("cat end.mp4 | $PROBE --no-log -q --format csv -");
    EXPECT_EQ(end.status, 1);
    EXPECT_EQ(end.out, "");
    EXPECT_NE(end.err.find("index follows its data"), std::string::npos) << end.err;
}

TEST_F(CompressedInputTest, FfmpegsMessagesFollowQuietAndTheChosenLevel) {
    ASSERT_TRUE(encode("clip.ts", 50));
    std::string ts = readFile(dir.path / "clip.ts");
    for (std::size_t i = ts.size() / 4; i < ts.size() / 2; i += 400) ts[i] = static_cast<char>(~ts[i]);
    writeFile(dir.path / "damaged.ts", ts);
    EXPECT_EQ(probe({"--no-log", "-q", "-o", "/dev/null", "damaged.ts"}).err, "");
    EXPECT_EQ(probe({"--no-log", "-q", "--ffmpeg-log", "quiet", "-o", "/dev/null", "damaged.ts"}).err, "");
    const std::string summary = probe({"--no-log", "-o", "/dev/null", "damaged.ts"}).err;
    const std::string whole = probe({"--no-log", "--ffmpeg-log", "warning", "-o", "/dev/null", "damaged.ts"}).err;
    const auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
    EXPECT_LE(lines(summary), 6);
    EXPECT_NE(summary.find("more messages from FFmpeg's libraries left out"), std::string::npos) << summary;
    EXPECT_GT(lines(whole), lines(summary));
    EXPECT_EQ(probe({"--ffmpeg-log", "loud", "damaged.ts"}).status, 2);
}

}  // namespace

namespace {

// The container's start time code reaches the results and merged parts; a drop-frame
// separator counts only at 29.97 and 59.94 frames per second.
TEST_F(CompressedInputTest, StartTimeCodesReachTheResults) {
    const auto clip = [&](const std::string& name, const std::string& rate, const std::string& timecode) {
        return runFfmpeg(dir.path, {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=" + rate, "-frames:v", "6", "-c:v",
                                    "mpeg4", "-timecode", timecode, name});
    };
    ASSERT_TRUE(clip("ntsc.mov", "30000/1001", "00:59:59;28"));
    // A container's own tag, which ffmpeg writes as it is given.
    ASSERT_TRUE(runFfmpeg(dir.path, {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=25", "-frames:v", "6", "-c:v",
                                     "mpeg4", "-metadata", "timecode=10:00:00;05", "pal.mkv"}));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "pal.mkv", "-c", "copy", "-map_metadata", "-1", "plain.mp4"}));
    const json ntsc = jsonRun("ntsc.mov", {"--indicators", "blur"});
    EXPECT_EQ(ntsc["input"]["timecode"], json::parse(R"({"start":"00:59:59;28","fps":30,"drop_frame":true})"));
    EXPECT_EQ(jsonRun("pal.mkv", {"--indicators", "blur"})["input"]["timecode"],
              json::parse(R"({"start":"10:00:00:05","fps":25,"drop_frame":false})"));
    EXPECT_TRUE(jsonRun("plain.mp4", {"--indicators", "blur"})["input"]["timecode"].is_null());

    // Segments carry it through merge, and parts of other start time codes are not one run.
    for (const char* part : {"0:3", "3:3"}) {
        const std::string from(part, 1), count(part + 2);
        const ProcessResult r = probe({"--no-log", "-q", "--format", "jsonl", "--indicators", "blur", "--start", from,
                                       "--frames", count, "--origin", "0", "--run-frames", "6", "-o",
                                       "part" + from + ".jsonl", "ntsc.mov"});
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const ProcessResult merged = probe({"merge", "--format", "json", "part0.jsonl", "part3.jsonl"});
    ASSERT_EQ(merged.status, 0) << merged.err;
    EXPECT_EQ(json::parse(merged.out)["input"]["timecode"], ntsc["input"]["timecode"]);
    std::string other = readFile(dir.path / "part3.jsonl");
    other.replace(other.find("59:59;28"), 8, "00:00;02");
    writeFile(dir.path / "other.jsonl", other);
    const ProcessResult refused = probe({"merge", "part0.jsonl", "other.jsonl"});
    EXPECT_NE(refused.err.find("start time code"), std::string::npos) << refused.err;

    // Only the report shows time codes.
    EXPECT_EQ(probe({"--timecode", "-q", "ntsc.mov"}).status, 2);
    ASSERT_EQ(probe({"--timecode", "-q", "--no-log", "--indicators", "blur", "--report", "r.html", "ntsc.mov"}).status,
              0);
    EXPECT_NE(readFile(dir.path / "r.html").find(R"("timecode":{"start":"00:59:59;28","fps":30,"drop":true})"),
              std::string::npos);
}

}  // namespace
