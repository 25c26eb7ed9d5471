// The levels event: EBU R103 exceeded on more than 1 % of the picture. Its calibration
// (docs/qc.md) on clean and out-of-range clips, and the tolerance at its exact edge.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ffmpeg_fixtures.h"

namespace {

struct Finding {
    double luma = 0, rgb = 0;               // the largest shares of any frame
    std::vector<std::pair<int64_t, int64_t>> levels;  // the levels events' frames
    std::string severity;
};

Finding measure(const std::filesystem::path& dir, const std::vector<std::string>& args) {
    std::vector<std::string> all{"--format", "json", "--indicators", "r103_luma,r103_rgb"};
    all.insert(all.end(), args.begin(), args.end());
    const ProcessResult run = runProcess(FRAMEPROBE_BINARY, all, dir);
    EXPECT_EQ(run.status, 0) << run.err;
    Finding f;
    if (run.status != 0) return f;
    const nlohmann::json doc = nlohmann::json::parse(run.out);
    for (const auto& frame : doc["frames"]) {
        f.luma = std::max(f.luma, frame["r103_luma"].get<double>());
        f.rgb = std::max(f.rgb, frame["r103_rgb"].get<double>());
    }
    for (const auto& e : doc["events"])
        if (e["type"] == "levels") {
            f.levels.emplace_back(e["start_frame"].get<int64_t>(), e["end_frame"].get<int64_t>());
            f.severity = e["severity"].get<std::string>();
        }
    return f;
}

using Spans = std::vector<std::pair<int64_t, int64_t>>;

class LevelsEventTest : public ::testing::Test {
protected:
    TempDir dir;
};

// Ten frames of 160x120 at 25 fps from ffmpeg's sources and filters; the faulty ones go out of
// range from frame 4 on.
TEST_F(LevelsEventTest, CalibrationClipsFireOnlyWhereThePictureLeavesTheLimits) {
    SKIP_WITHOUT_FFMPEG();
    // Smooth colour gradients with grain, most of it in luma: a photograph's kind of picture
    // (colours and places given: the source draws them at random otherwise, even with a seed).
    const std::string gradients =
        "gradients=s=160x120:r=25:n=3:c0=0xc04030:c1=0x3070c0:c2=0x50b040:x0=10:y0=5:x1=150:y1=110";
    const std::string grain = gradients + ",format=yuv420p,noise=c0s=10:c1s=3:c2s=3:allf=t";
    const std::string later = "if(gte(N,4),";
    struct Clip {
        const char* name;
        std::vector<std::string> make;  // ffmpeg's arguments after the source
        std::string source;
        Spans expected;
    };
    const std::vector<Clip> clips = {
        {"graded.mkv", {"-pix_fmt", "yuv420p", "-c:v", "ffv1"}, grain, {}},
        {"graded.mp4", {"-pix_fmt", "yuv420p", "-c:v", "libx264", "-crf", "23"}, grain, {}},
        {"graded10.mkv", {"-pix_fmt", "yuv422p10le", "-c:v", "ffv1"}, grain, {}},
        {"bars.mkv", {"-pix_fmt", "yuv420p", "-colorspace", "bt709", "-c:v", "ffv1"}, "smptehdbars=s=160x120:r=25", {}},
        // Its colours lie outside even at 4:4:4 (B up to code 293 of the BT.601 matrix).
        {"testsrc2.mkv", {"-pix_fmt", "yuv420p", "-c:v", "ffv1"}, "testsrc2=s=160x120:r=25", {{0, 9}}},
        // Grain added to R, G and B before 4:2:0: a pixel's luma keeps its grain, its chroma
        // is the mean of four, and R, G or B made of the two lies outside (a false alarm).
        {"rgb-grain.mkv", {"-pix_fmt", "yuv420p", "-c:v", "ffv1"},
         gradients + ",noise=alls=12:allf=t", {{0, 9}}},
        {"superwhite.mkv",
         {"-vf", "format=yuv420p,geq=lum='if(gte(N,4)*lt(Y,12),250,lum(X,Y))':cb='cb(X,Y)':cr='cr(X,Y)'", "-pix_fmt",
          "yuv420p", "-c:v", "ffv1"},
         grain, {{4, 9}}},
        {"supersaturated.mp4",
         {"-vf",
          "format=yuv420p,geq=lum='lum(X,Y)':cb='" + later + "clip(128+(cb(X,Y)-128)*2,0,255),cb(X,Y))':cr='" + later +
              "clip(128+(cr(X,Y)-128)*2,0,255),cr(X,Y))'",
          "-pix_fmt", "yuv420p", "-c:v", "libx264", "-crf", "23"},
         grain, {{4, 9}}},
    };
    for (const Clip& c : clips) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"-f", "lavfi", "-i", c.source, "-frames:v", "10"};
        args.insert(args.end(), c.make.begin(), c.make.end());
        args.push_back(c.name);
        ASSERT_TRUE(runFfmpeg(dir.path, args));
        const Finding f = measure(dir.path, {c.name});
        EXPECT_EQ(f.levels, c.expected) << "luma " << f.luma << ", RGB " << f.rgb;
        if (!c.expected.empty()) {
            EXPECT_EQ(f.severity, "warning");
        }
    }
    // Broadcast delivery fails it.
    const ProcessResult judged = runProcess(FRAMEPROBE_BINARY, {"--profile", "broadcast-delivery", "-q", "--format",
                                                                "json", "supersaturated.mp4"}, dir.path);
    EXPECT_EQ(judged.status, 3) << judged.err;
    EXPECT_NE(judged.err.find("levels"), std::string::npos) << judged.err;
}

// A grey 100x100 picture (4:2:0) with `superwhite` luma samples at 250 and `red` chroma
// samples of Cr 240, each the colour of 2x2 pixels whose R lies beyond 105 %.
std::string greyWith(int superwhite, int red) {
    std::string bytes(100 * 100 + 2 * 50 * 50, static_cast<char>(128));
    for (int i = 0; i < superwhite; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>(250);
    for (int i = 0; i < red; ++i) bytes[100 * 100 + 50 * 50 + static_cast<std::size_t>(i) * 2] = static_cast<char>(240);
    return bytes;
}

TEST_F(LevelsEventTest, OnePercentOfThePictureIsToleratedAndOneSampleMoreIsNot) {
    struct Case {
        int superwhite, red;
        bool fires;
    };
    // 100 of 10,000 luma samples is 1 %; 25 chroma samples are 100 pixels.
    for (const Case& c : {Case{100, 0, false}, Case{101, 0, true}, Case{0, 25, false}, Case{0, 26, true}}) {
        SCOPED_TRACE(std::to_string(c.superwhite) + " superwhite, " + std::to_string(c.red) + " red");
        writeFile(dir.path / "grey.yuv", greyWith(c.superwhite, c.red));
        const Finding f = measure(dir.path, {"-s", "100x100", "grey.yuv"});
        const Spans expected = c.fires ? Spans{{0, 0}} : Spans{};
        EXPECT_EQ(f.levels, expected);
    }
    // Measuring the luma share alone judges the event: a profile naming it measures that one.
    const ProcessResult lumaOnly = runProcess(
        FRAMEPROBE_BINARY, {"--format", "json", "--indicators", "r103_luma", "-s", "100x100", "grey.yuv"}, dir.path);
    ASSERT_EQ(lumaOnly.status, 0) << lumaOnly.err;
    EXPECT_EQ(nlohmann::json::parse(lumaOnly.out)["events"].size(), 1u);  // the last case's red
}

}  // namespace

namespace {

// A flat colour's event gives its chroma beside its level when the run reads the planes, at
// 8 bits from any depth, rounded (Cb 90.5 is 91), and a merge of the run's file gives it again.
TEST_F(LevelsEventTest, ConstantColourEventsCarryTheirChroma) {
    for (const bool deep : {false, true}) {
        SCOPED_TRACE(deep ? "10 bits" : "8 bits");
        std::string bytes;
        const auto put = [&](unsigned v, int count) {
            for (int i = 0; i < count; ++i) {
                const unsigned s = deep ? v << 2 : v;
                bytes.push_back(static_cast<char>(s & 0xFF));
                if (deep) bytes.push_back(static_cast<char>(s >> 8));
            }
        };
        put(180, 64 * 48);
        put(90, 32 * 12);
        put(91, 32 * 12);
        put(150, 32 * 24);
        writeFile(dir.path / "flat.yuv", bytes);
        const ProcessResult run =
            runProcess(FRAMEPROBE_BINARY, {"-s", "64x48", "--pix-fmt", deep ? "yuv420p10le" : "yuv420p", "--format",
                                           "jsonl", "-o", "flat.jsonl", "--indicators", "blackout,r103_luma",
                                           "flat.yuv"},
                       dir.path);
        ASSERT_EQ(run.status, 0) << run.err;
        const ProcessResult merged =
            runProcess(FRAMEPROBE_BINARY, {"merge", "--format", "json", "flat.jsonl"}, dir.path);
        ASSERT_EQ(merged.status, 0) << merged.err;
        const std::string written = readFile(dir.path / "flat.jsonl");
        const nlohmann::json summary = nlohmann::json::parse(written.substr(written.rfind("\n{") + 1));
        for (const nlohmann::json& events : {summary["events"], nlohmann::json::parse(merged.out)["events"]}) {
            ASSERT_EQ(events.size(), 1u) << events;
            EXPECT_EQ(events[0]["type"], "constant_colour");
            EXPECT_EQ(events[0]["level"], 180);
            EXPECT_EQ(events[0]["cb"], 91);
            EXPECT_EQ(events[0]["cr"], 150);
        }
    }
}

}  // namespace
