// Verdicts of the real binary: conditions measure what they name, short runs fail a gate,
// events match the pictures, and profiles, --strict and --junit.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "test_support.h"

namespace {

using nlohmann::json;

class VerdictTest : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        // 25 fps: frames 10-34 one still picture (1 s), frames 50-59 black.
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"clip.y4m", "64", "48", "75", "freeze:10-34", "black:50-59"},
                             dir.path)
                      .status,
                  0);
    }
    ProcessResult probe(std::vector<std::string> args) {
        args.insert(args.begin(), {"-q", "--no-log"});
        return runProcess(FRAMEPROBE_BINARY, args, dir.path);
    }
    json document(std::vector<std::string> args) {
        args.insert(args.end(), {"--format", "json", "-o", "out.json"});
        std::filesystem::remove(dir.path / "out.json");  // never read an earlier run's document
        probe(args);
        return json::parse(readFile(dir.path / "out.json"));
    }
};

TEST_F(VerdictTest, FlickerEventsOnlyWhereThePictureFlickers) {
    // The sample's bright square leaves and enters the picture and a black flash cuts in:
    // the mean level moves, nothing flickers. One flickering 8x8 block among 396 is found.
    for (auto [defects, expected] : {std::pair<std::vector<std::string>, std::size_t>{{"black:50-59"}, 0},
                                     {{"flicker"}, 1}}) {
        std::vector<std::string> args = {"sample.y4m", "176", "144", "75"};
        args.insert(args.end(), defects.begin(), defects.end());
        ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, args, dir.path).status, 0);
        const json events = document({"sample.y4m", "--indicators", "flickering"})["events"];
        ASSERT_EQ(events.size(), expected) << defects[0] << events;
        if (expected) {
            EXPECT_EQ(events[0]["type"], "flicker");
        }
    }
}

TEST_F(VerdictTest, AConditionMeasuresWhatItNames) {
    const ProcessResult r = probe({"clip.y4m", "--indicators", "blur", "--fail-on", "black>0", "-o", "/dev/null"});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("QC failed: black>0 (black.count = 1)"), std::string::npos) << r.err;
    const json d = document({"clip.y4m", "--indicators", "0x100", "--fail-on", "freeze>0"});
    EXPECT_EQ(d["settings"]["indicators"], json({"temporal_activity", "blackout", "freezing"}));
    EXPECT_EQ(d["settings"]["indicators_added_by"]["temporal_activity"], "freezing");
    EXPECT_EQ(d["verdict"]["status"], "fail");
    EXPECT_EQ(d["verdict"]["findings"][0]["events"][0]["start_frame"], 10);
}

TEST_F(VerdictTest, EventsMatchThePictures) {
    // The freeze lasts the second the picture stood still, and black frames are neither
    // frozen nor letterboxed, whatever else was asked for.
    for (const char* indicators : {"blur,freezing,letterbox", "blur,freezing,letterbox,blackout"}) {
        const json events = document({"clip.y4m", "--indicators", indicators})["events"];
        ASSERT_EQ(events.size(), 2u) << indicators << events;
        EXPECT_EQ(events[0]["type"], "freeze");
        EXPECT_EQ(events[0]["start_frame"], 10);
        EXPECT_EQ(events[0]["end_frame"], 34);
        EXPECT_EQ(events[0]["duration"], 1.0);
        EXPECT_EQ(events[1]["type"], "black");
    }
    // Every event has a picture of its first frame, a freeze's from the frame that confirmed it.
    ASSERT_EQ(probe({"clip.y4m", "-o", "/dev/null", "--snapshots", "snaps"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(dir.path / "snaps/frame-000012-freeze-start.png"));
    EXPECT_TRUE(std::filesystem::exists(dir.path / "snaps/frame-000050-black-start.png"));
    // A flat grey picture is a constant colour with its level, not black; its frames are no freeze.
    ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"grey.y4m", "64", "48", "30", "flat:10-19"}, dir.path).status, 0);
    const json grey = document({"grey.y4m", "--indicators", "blackout,freezing"})["events"];
    ASSERT_EQ(grey.size(), 1u) << grey;
    EXPECT_EQ(grey[0]["type"], "constant_colour");
    EXPECT_EQ(grey[0]["start_frame"], 10);
    EXPECT_EQ(grey[0]["end_frame"], 19);
    EXPECT_EQ(grey[0]["level"], 128);
    const ProcessResult oneSecond = probe({"clip.y4m", "--freeze-min-duration", "1", "--fail-on", "freeze>0"});
    EXPECT_EQ(oneSecond.status, 3);
}

TEST_F(VerdictTest, ARunThatMeasuresTooFewFramesFailsItsGate) {
    const json past = document({"clip.y4m", "--start", "500", "--fail-on", "freeze>0"});
    EXPECT_EQ(past["run"]["frames_measured"], 0);
    EXPECT_EQ(past["verdict"]["status"], "fail");
    EXPECT_EQ(past["verdict"]["findings"][0]["text"], "measured 0 frames");
    const ProcessResult beyond = probe({"clip.y4m", "--frames", "80", "--fail-on", "freeze>5", "-o", "/dev/null"});
    EXPECT_EQ(beyond.status, 3);
    EXPECT_NE(beyond.err.find("measured 75 of 80 frames"), std::string::npos) << beyond.err;
    // Without a gate the shortfall is told, and the status stays 0.
    const ProcessResult ungated = probe({"clip.y4m", "--start", "75", "-o", "/dev/null"});
    EXPECT_EQ(ungated.status, 0);
    EXPECT_NE(ungated.err.find("measured 0 frames"), std::string::npos);
    EXPECT_EQ(probe({"clip.y4m", "--frames", "75", "--fail-on", "freeze>5", "-o", "/dev/null"}).status, 0);
    // Raw input past its end shows rows of short reads, as ever, but they are not frames.
    ASSERT_EQ(runProcess(FRAMEPROBE_SAMPLE_BINARY, {"clip.yuv", "64", "48", "10"}, dir.path).status, 0);
    const json raw = document({"clip.yuv", "-s", "64x48", "--frames", "12", "--fail-on", "blur.max>1000"});
    EXPECT_EQ(raw["run"]["frames"], 12);
    EXPECT_EQ(raw["run"]["frames_measured"], 10);
    EXPECT_EQ(raw["verdict"]["findings"][0]["text"], "measured 10 of 12 frames");
}

TEST_F(VerdictTest, ProfilesStrictAndJunit) {
    // Shipped profiles list, print as sound TOML, and judge.
    const ProcessResult list = runProcess(FRAMEPROBE_BINARY, {"profiles"}, dir.path);
    for (const char* name : {"default", "broadcast-delivery", "archive-transfer", "streaming", "pse"})
        EXPECT_NE(list.out.find(name), std::string::npos) << list.out;
    // The build tree holds them in a folder, one file each.
    const auto buildProfiles = std::filesystem::path(FRAMEPROBE_BINARY).parent_path() / "share/frameprobe/profiles";
    EXPECT_TRUE(std::filesystem::is_regular_file(buildProfiles / "streaming.toml"));
    // A program that finds none says where it looked, and fails.
    std::filesystem::create_directory(dir.path / "lone");
    std::filesystem::copy_file(FRAMEPROBE_BINARY, dir.path / "lone/frameprobe");
    const ProcessResult none = runProcess((dir.path / "lone/frameprobe").string(), {"profiles"}, dir.path);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("none found (looked in " + (dir.path / "share/frameprobe/profiles").string()),
              std::string::npos)
        << none.err;
    const ProcessResult shown = runProcess(FRAMEPROBE_BINARY, {"profiles", "show", "archive-transfer"}, dir.path);
    writeFile(dir.path / "mine.toml", shown.out);
    // archive-transfer fails a still picture of 1 s; broadcast-delivery only warns of it.
    const json archive = document({"clip.y4m", "--profile", "mine.toml"});
    EXPECT_EQ(archive["verdict"]["status"], "fail");
    EXPECT_EQ(archive["verdict"]["profile"]["name"], "archive-transfer");
    // Its black frames (code 0) are below EBU R103's limit, which broadcast-delivery fails;
    // the frames before them only warn.
    EXPECT_EQ(probe({"clip.y4m", "--profile", "broadcast-delivery", "-o", "/dev/null"}).status, 3);
    EXPECT_EQ(probe({"clip.y4m", "--frames", "50", "--profile", "broadcast-delivery", "-o", "/dev/null"}).status, 0);
    // --strict fails the run on a warning, and its JUnit case with it.
    EXPECT_EQ(probe({"clip.y4m", "--frames", "50", "--profile", "broadcast-delivery", "--strict", "--junit",
                     "strict.xml", "-o", "/dev/null"}).status,
              3);
    EXPECT_NE(readFile(dir.path / "strict.xml").find("failures=\"1\""), std::string::npos);
    // An option overrides the profile: a 2 s minimum leaves no freeze event, so nothing fails.
    EXPECT_EQ(
        probe({"clip.y4m", "--profile", "archive-transfer", "--freeze-min-duration", "2", "-o", "/dev/null"}).status,
        0);
    // --fail-on adds to the profile's conditions (the 0.4 s of black counts once the option
    // lowers the profile's minimum of 0.5 s).
    const ProcessResult added = probe({"clip.y4m", "--profile", "broadcast-delivery", "--fail-on", "black.total>0.3",
                                       "--black-min-duration", "0", "--junit", "qc.xml", "-o", "/dev/null"});
    EXPECT_EQ(added.status, 3);
    const std::string xml = readFile(dir.path / "qc.xml");
    EXPECT_NE(xml.find("failures=\"2\""), std::string::npos) << xml;  // and the levels events
    // The class name has no dots for CI servers to split at; the suite has the run's time and start.
    EXPECT_NE(xml.find("<testcase classname=\"clip_y4m\" name=\"black.total&gt;0.3\">"), std::string::npos) << xml;
    EXPECT_NE(xml.find("<testsuite name=\"clip.y4m\" tests=\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("failures=\"2\" errors=\"0\" time=\"0."), std::string::npos) << xml;
    EXPECT_NE(xml.find(" timestamp=\"20"), std::string::npos) << xml;
    EXPECT_NE(xml.find("name=\"freeze events\""), std::string::npos);
    // A JUnit file that cannot be written is a failure of the tool, and leaves nothing behind.
    const ProcessResult unwritable =
        probe({"clip.y4m", "--fail-on", "black>5", "--junit", "none/qc.xml", "-o", "/dev/null"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("none/qc.xml"), std::string::npos) << unwritable.err;
}

TEST_F(VerdictTest, AJudgedRunWithoutAFormatShowsOnlyItsVerdict) {
    // --profile or --junit and no format, output or log: no table, no log, the verdict on standard error.
    const ProcessResult ci = runProcess(
        FRAMEPROBE_BINARY, {"-q", "clip.y4m", "--frames", "50", "--profile", "broadcast-delivery"}, dir.path);
    EXPECT_EQ(ci.status, 0) << ci.err;
    EXPECT_EQ(ci.out, "");
    EXPECT_FALSE(std::filesystem::exists(dir.path / "metricsResultsCSV.csv"));
    EXPECT_NE(ci.err.find("frameprobe: QC warn: 50 frames of clip.y4m, profile broadcast-delivery\n"),
              std::string::npos)
        << ci.err;
    const ProcessResult unjudged = runProcess(FRAMEPROBE_BINARY, {"-q", "clip.y4m", "--junit", "ci.xml"}, dir.path);
    EXPECT_EQ(unjudged.out, "");
    EXPECT_NE(unjudged.err.find("75 frames of clip.y4m measured; no --profile or --fail-on judged them"),
              std::string::npos) << unjudged.err;
    EXPECT_NE(readFile(dir.path / "ci.xml").find("tests=\"0\""), std::string::npos);
    // A format asked for is written as ever, and so is the log of the table.
    const ProcessResult table = runProcess(
        FRAMEPROBE_BINARY, {"-q", "clip.y4m", "--profile", "broadcast-delivery", "--format", "legacy"}, dir.path);
    EXPECT_NE(table.out.find("File stream closed"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir.path / "metricsResultsCSV.csv"));
}

TEST_F(VerdictTest, BadProfilesAreRefusedBeforeAnyFrame) {
    writeFile(dir.path / "typo.toml",
              "schema = 1\nname = \"t\"\nversion = \"1\"\n[events.freeze]\nmin_durations = 1\n");
    const ProcessResult typo = probe({"clip.y4m", "--profile", "typo.toml", "-o", "out.json"});
    EXPECT_EQ(typo.status, 2);
    EXPECT_NE(typo.err.find("typo.toml:5:1: key \"events.freeze.min_durations\""), std::string::npos) << typo.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path / "out.json"));
    const ProcessResult unknown = probe({"clip.y4m", "--profile", "broadcast"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(
        unknown.err.find("no profile named \"broadcast\"; the profiles are: archive-transfer, broadcast-delivery"),
        std::string::npos)
        << unknown.err;
}

}  // namespace
