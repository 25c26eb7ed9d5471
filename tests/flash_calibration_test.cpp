// The flash rule's calibration set (docs/qc.md): clips made here of a flashing patch of a given
// area, step and rate, with the verdict and first failing frame the rule gives, read through
// the program from a file, a pipe, H.264 and a container of variable frame rate.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "ffmpeg_fixtures.h"
#include "test_support.h"

namespace {

// A clip of 64x36 (BT.601 limited range, 4:2:0) whose left `areaPercent` of the width turns
// between luma `dark` and `bright` every `half` frames over a background of luma `background`;
// `red`: the patch is saturated red (Cr high) instead of grey at its bright level.
struct Flashing {
    int fpsNum, fpsDen, half, areaPercent, dark, bright, frames;
    bool red = false;
    int background = 16;
};

std::string y4m(const Flashing& c) {
    const int w = 64, h = 36;
    std::string out = "YUV4MPEG2 W64 H36 F" + std::to_string(c.fpsNum) + ":" + std::to_string(c.fpsDen) +
                      " Ip A1:1 C420jpeg\n";
    const int patch = w * c.areaPercent / 100;
    for (int f = 0; f < c.frames; ++f) {
        const bool on = (f / c.half) % 2 == 1;
        out += "FRAME\n";
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                out += static_cast<char>(x < patch ? (on ? c.bright : c.dark) : c.background);
        for (int plane = 0; plane < 2; ++plane)
            for (int y = 0; y < h / 2; ++y)
                for (int x = 0; x < w / 2; ++x)
                    out += static_cast<char>(c.red && on && 2 * x < patch ? (plane == 0 ? 90 : 240) : 128);
    }
    return out;
}

struct Verdict {
    bool flash = false;
    int64_t start = -1;
    int64_t firstFailing = -1;  // first frame whose flashes per second pass three
};

class FlashCalibration : public ::testing::Test {
protected:
    TempDir dir;
    Verdict run(const std::string& input, const std::string& viaShell = "",
                const std::vector<std::string>& extra = {}) {
        std::vector<std::string> args{"-q", "-t", "2", "--indicators", "flashes_per_second,red_flash_area",
                                      "--format", "json", "-o", "out.json"};
        args.insert(args.end(), extra.begin(), extra.end());
        ProcessResult r;
        if (viaShell.empty()) {
            std::vector<std::string> all = args;
            all.push_back(input);
            r = runProcess(FRAMEPROBE_BINARY, all, dir.path);
        } else {
            std::string command = viaShell + " | \"$PROBE\"";
            for (const auto& a : args) command += " " + a;
            r = runProcess("/bin/sh", {"-c", command + " -"}, dir.path, {std::string("PROBE=") + FRAMEPROBE_BINARY});
        }
        EXPECT_EQ(r.status, 0) << r.err;
        const auto doc = nlohmann::json::parse(readFile(dir.path / "out.json"));
        Verdict v;
        for (const auto& e : doc.at("events"))
            if (e.at("type") == "flash") {
                EXPECT_EQ(e.at("severity"), "error");
                if (!v.flash) v.start = e.at("start_frame").get<int64_t>();
                v.flash = true;
            }
        for (const auto& f : doc.at("frames"))
            if (f.at("flashes_per_second").is_number() && f.at("flashes_per_second").get<double>() > 3) {
                v.firstFailing = f.at("frame").get<int64_t>();
                break;
            }
        return v;
    }
};

}  // namespace

// Rates (25 fps: a turn every 3 frames is 4.2 Hz, every 4 is 3.1 Hz, every 5 is 2.5 Hz), areas
// of an eighth and a quarter (the rule counts area in cells of 8x8 pixels), steps either side
// of 20 cd/m² (BT.1886 at 200 cd/m²: luma 99 is 19.5 cd/m², 100 is 20.1), the darker image
// either side of 160 cd/m² (luma 215 is 159.0, 216 is 160.8), and red.
TEST_F(FlashCalibration, RuleTableAtTwentyFiveFramesPerSecond) {
    struct Row {
        Flashing clip;
        bool fails;
        int64_t firstFailing;
    };
    const std::vector<Row> table = {
        {{25, 1, 3, 60, 16, 235, 50}, true, 21},    // 4.2 Hz, 60 %
        {{25, 1, 4, 60, 16, 235, 50}, true, 28},    // 3.1 Hz
        {{25, 1, 5, 60, 16, 235, 50}, false, -1},   // 2.5 Hz
        {{25, 1, 13, 100, 16, 235, 50}, false, -1}, // 1 Hz
        {{25, 1, 1, 100, 16, 235, 50}, true, 7},    // 12.5 Hz
        {{25, 1, 3, 10, 16, 235, 50}, false, -1},   // 10 % of the screen
        {{25, 1, 3, 12, 16, 235, 50}, false, -1},   // an eighth (whole cells)
        {{25, 1, 3, 25, 16, 235, 50}, true, 21},    // a quarter
        {{25, 1, 3, 60, 16, 99, 50}, false, -1},    // 19.5 cd/m²
        {{25, 1, 3, 60, 16, 100, 50}, true, 21},    // 20.1 cd/m²
        {{25, 1, 3, 60, 216, 235, 50}, false, -1},  // darker at 160.8 cd/m²
        {{25, 1, 3, 60, 215, 235, 50, false, 235}, true, 21},  // darker at 159.0 cd/m², bright surround
        {{25, 1, 3, 60, 60, 60, 50, true}, true, 21},           // red at constant luma
    };
    for (const Row& row : table) {
        writeFile(dir.path / "clip.y4m", y4m(row.clip));
        const Verdict v = run("clip.y4m");
        EXPECT_EQ(v.flash, row.fails) << row.clip.half << " " << row.clip.areaPercent << " " << row.clip.bright;
        EXPECT_EQ(v.firstFailing, row.firstFailing) << row.clip.half << " " << row.clip.areaPercent;
    }
}

// The area and the display are settings: a flash covering exactly the area set counts, and a brighter
// display makes a step of 19.5 cd/m² one of 39.
TEST_F(FlashCalibration, TheAreaAndTheDisplayAreSettings) {
    writeFile(dir.path / "eighth.y4m", y4m({25, 1, 3, 12, 16, 235, 50}));
    EXPECT_FALSE(run("eighth.y4m").flash);
    EXPECT_EQ(run("eighth.y4m", "", {"--flash-area", "0.125"}).firstFailing, 21);
    writeFile(dir.path / "dim.y4m", y4m({25, 1, 3, 60, 16, 99, 50}));
    EXPECT_EQ(run("dim.y4m", "", {"--display-white", "400"}).firstFailing, 21);
}

// The report says whether the rule passed and lists the sequences that failed it.
TEST_F(FlashCalibration, TheReportGivesTheVerdictAndTheFailingSequences) {
    writeFile(dir.path / "fast.y4m", y4m({25, 1, 3, 60, 16, 235, 50}));
    writeFile(dir.path / "slow.y4m", y4m({25, 1, 5, 60, 16, 235, 50}));
    for (const char* clip : {"fast.y4m", "slow.y4m"}) {
        const ProcessResult r = runProcess(
            FRAMEPROBE_BINARY,
            {"-q", "--indicators", "flashes_per_second", "-o", "/dev/null", "--report", "report.html", clip}, dir.path);
        EXPECT_EQ(r.status, 0) << r.err;
        const std::string page = readFile(dir.path / "report.html");
        EXPECT_NE(page.find("Photosensitive flashes"), std::string::npos);
        const bool fast = std::string(clip) == "fast.y4m";
        EXPECT_EQ(page.find("Failed: 1 sequence.") != std::string::npos, fast) << clip;
        EXPECT_EQ(page.find("Passed: no second") != std::string::npos, !fast) << clip;
    }
}

TEST_F(FlashCalibration, NtscRateAndAPipe) {
    // 29.97 fps: a turn every 4 frames is 3.7 Hz, every 5 (3.0 Hz, 7 turns in 1.001 s) passes.
    writeFile(dir.path / "fast.y4m", y4m({30000, 1001, 4, 60, 16, 235, 60}));
    const Verdict fast = run("fast.y4m");
    EXPECT_TRUE(fast.flash);
    EXPECT_EQ(fast.firstFailing, 28);
    EXPECT_EQ(fast.start, 4);
    writeFile(dir.path / "slow.y4m", y4m({30000, 1001, 5, 60, 16, 235, 60}));
    EXPECT_FALSE(run("slow.y4m").flash);
    const Verdict piped = run("", "cat fast.y4m");
    EXPECT_EQ(piped.firstFailing, fast.firstFailing);
}

TEST_F(FlashCalibration, H264AndVariableFrameRate) {
    SKIP_WITHOUT_FFMPEG();
    writeFile(dir.path / "clip.y4m", y4m({25, 1, 3, 60, 16, 235, 50}));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.y4m", "-c:v", "libx264", "-preset", "ultrafast", "-crf", "23",
                                     "clip.mp4"}));
    EXPECT_EQ(run("clip.mp4").firstFailing, 21);
    // The same turns every 3 frames, but the frames of the first second last twice as long: by
    // presentation time the first second flashes at 2.1 Hz and the rule fails only after it.
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.y4m", "-vf", "setpts='if(lt(N,25),2*N,N+25)/25/TB'", "-fps_mode",
                                     "passthrough", "-c:v", "libx264", "-preset", "ultrafast", "vfr.mkv"}));
    const Verdict vfr = run("vfr.mkv");
    EXPECT_TRUE(vfr.flash);
    EXPECT_GT(vfr.firstFailing, 21);
}
