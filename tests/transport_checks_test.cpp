// The transport checks on a transport stream ffmpeg makes, with faults written into its
// packets: each fault is counted exactly, once, by its own check, and the clean stream
// counts none. Loudness is compared with ffmpeg's own R128 meter on test signals.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <regex>

#include "ffmpeg_fixtures.h"
#include "test_support.h"
#include "transport/transport_report.h"

namespace {

using nlohmann::json;
constexpr std::size_t kPacket = 188;

struct Packets {
    std::string bytes;
    std::size_t count() const { return bytes.size() / kPacket; }
    uint8_t* at(std::size_t i) { return reinterpret_cast<uint8_t*>(bytes.data() + i * kPacket); }
    int pid(std::size_t i) { return ((at(i)[1] & 0x1F) << 8) | at(i)[2]; }
    bool hasPcr(std::size_t i) { return (at(i)[3] & 0x20) && at(i)[4] > 0 && (at(i)[5] & 0x10); }
    // The index of the n-th packet (from 0) that `match` takes.
    std::size_t find(const std::function<bool(std::size_t)>& match, int n = 0) {
        for (std::size_t i = 0; i < count(); ++i)
            if (match(i) && n-- == 0) return i;
        ADD_FAILURE() << "no such packet";
        return 0;
    }
    void makeNull(std::size_t i) {
        uint8_t* p = at(i);
        p[0] = 0x47, p[1] = 0x1F, p[2] = 0xFF, p[3] = 0x10;
        std::fill(p + 4, p + kPacket, 0xFF);
    }
};

class TransportChecksTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (ffmpegProgram().empty()) return;
        // 2.4 s of tiny MPEG-2 video and stereo audio at a constant rate (with null packets).
        made = new TempDir;
        runFfmpeg(made->path, {"-f", "lavfi", "-i", "testsrc2=size=64x48:rate=25", "-f", "lavfi", "-i",
                               "sine=frequency=1000:sample_rate=48000", "-t", "2.4", "-c:v", "mpeg2video", "-g", "12",
                               "-c:a", "mp2", "-ac", "2", "-muxrate", "1000000", "-f", "mpegts", "clean.ts"});
        clean = readFile(made->path / "clean.ts");
    }
    static void TearDownTestSuite() {
        delete made;
        made = nullptr;
    }
    void SetUp() override {
        SKIP_WITHOUT_FFMPEG();
        ASSERT_GT(clean.size(), 100 * kPacket);
        ts.bytes = clean;
    }
    ProcessResult probe(const std::vector<std::string>& args) { return runProcess(FRAMEPROBE_BINARY, args, dir.path); }
    json run(const std::string& bytes, std::vector<std::string> extra = {}, int status = 0) {
        writeFile(dir.path / "in.ts", bytes);
        std::vector<std::string> args{"--no-log", "-q", "--format", "json", "in.ts"};
        args.insert(args.end(), extra.begin(), extra.end());
        const ProcessResult r = probe(args);
        EXPECT_EQ(r.status, status) << r.err;
        return r.out.empty() ? json::object() : json::parse(r.out);
    }
    // Every check counts 0 but those named.
    void expectCounts(const json& doc, const std::map<std::string, int>& faults) {
        ASSERT_TRUE(doc.contains("transport")) << doc.dump();
        const json& checks = doc["transport"]["checks"];
        for (std::string_view name : kTsCheckNames) {
            const std::string key(name);
            if (key == "pcr_accuracy_error") {
                EXPECT_TRUE(checks[key].is_null()) << "no arrival times in a file";
                continue;
            }
            const auto fault = faults.find(key);
            EXPECT_EQ(checks[key], fault == faults.end() ? 0 : fault->second) << key;
        }
    }
    static TempDir* made;
    static std::string clean;
    Packets ts;
    TempDir dir;
};
TempDir* TransportChecksTest::made = nullptr;
std::string TransportChecksTest::clean;

TEST_F(TransportChecksTest, TheCleanStreamCountsNothingAndEachFaultCountsOnce) {
    const json doc = run(ts.bytes);
    expectCounts(doc, {});
    EXPECT_EQ(doc["transport"]["packets"], ts.count());
    for (const json& e : doc["events"]) EXPECT_NE(e["type"], "transport");

    // A dropped packet of the audio's PID, within a PES packet.
    const int audio = 0x101;
    Packets dropped{ts.bytes};
    const std::size_t lost =
        dropped.find([&](std::size_t i) { return dropped.pid(i) == audio && !(dropped.at(i)[1] & 0x40); }, 20);
    dropped.bytes.erase(lost * kPacket, kPacket);
    const json gated = run(dropped.bytes, {"--fail-on", "continuity_count_error>0"}, 3);
    expectCounts(gated, {{"continuity_count_error", 1}});
    ASSERT_EQ(gated["verdict"]["status"], "fail");
    int events = 0;
    for (const json& e : gated["events"])
        if (e["type"] == "transport") {
            ++events;
            EXPECT_EQ(e["check"], "continuity_count_error");
            EXPECT_EQ(e["errors"], 1);
        }
    EXPECT_EQ(events, 1);

    // A packet may come twice; a third time is a continuity error.
    const std::size_t copied = ts.find([&](std::size_t i) { return ts.pid(i) == audio && !(ts.at(i)[1] & 0x40); }, 20);
    std::string repeated = ts.bytes;
    repeated.insert((copied + 1) * kPacket, ts.bytes.substr(copied * kPacket, kPacket));
    expectCounts(run(repeated), {});
    repeated.insert((copied + 1) * kPacket, ts.bytes.substr(copied * kPacket, kPacket));
    expectCounts(run(repeated), {{"continuity_count_error", 1}});

    // The CRC of a PAT in the middle.
    Packets crc{ts.bytes};
    uint8_t* pat = crc.at(crc.find([&](std::size_t i) { return crc.pid(i) == 0; }, 10));
    ASSERT_EQ(pat[4], 0) << "a PAT section right after its pointer field";
    const std::size_t length = static_cast<std::size_t>(((pat[6] & 0x0F) << 8) | pat[7]);
    pat[5 + 3 + length - 1] ^= 0x01;
    expectCounts(run(crc.bytes), {{"crc_error", 1}});

    // Another table on the PAT's PID: a CAT's table_id, with its CRC made anew.
    Packets other{ts.bytes};
    uint8_t* section = other.at(other.find([&](std::size_t i) { return other.pid(i) == 0; }, 10)) + 5;
    section[0] = 0x01;
    uint32_t sum = 0xFFFFFFFF;  // CRC-32/MPEG-2
    for (std::size_t i = 0; i + 4 < 3 + length; ++i) {
        sum ^= uint32_t{section[i]} << 24;
        for (int bit = 0; bit < 8; ++bit) sum = (sum & 0x80000000u) ? (sum << 1) ^ 0x04C11DB7u : sum << 1;
    }
    for (int k = 0; k < 4; ++k)
        section[3 + length - 4 + static_cast<std::size_t>(k)] = static_cast<uint8_t>(sum >> (24 - 8 * k));
    expectCounts(run(other.bytes), {{"pat_error", 1}});
}

TEST_F(TransportChecksTest, FlagsAndSyncBytesCountPerPacket) {
    auto null = [&](std::size_t i) { return ts.pid(i) == 0x1FFF; };
    Packets flagged{ts.bytes};
    flagged.at(flagged.find(null, 100))[1] |= 0x80;  // transport_error_indicator
    expectCounts(run(flagged.bytes), {{"transport_error", 1}});

    Packets synced{ts.bytes};
    synced.at(synced.find(null, 100))[0] = 0x00;
    expectCounts(run(synced.bytes), {{"sync_byte_error", 1}});

    // Two wrong sync bytes in a row lose the sync, which five right ones bring back.
    Packets lost{ts.bytes};
    const std::size_t first = lost.find([&](std::size_t i) { return null(i) && null(i + 1); }, 50);
    lost.at(first)[0] = lost.at(first + 1)[0] = 0x48;
    expectCounts(run(lost.bytes), {{"sync_byte_error", 2}, {"ts_sync_loss", 1}});
}

TEST_F(TransportChecksTest, TablesAndClockReferencesMissingTooLongCountOnce) {
    // The PAT gone for about 0.8 s (its packets made null ones, the counters of the rest mended).
    Packets gap{ts.bytes};
    std::vector<std::size_t> pats;
    for (std::size_t i = 0; i < gap.count(); ++i)
        if (gap.pid(i) == 0) pats.push_back(i);
    ASSERT_GT(pats.size(), 16u);
    const int removed = 7;
    for (int k = 0; k < removed; ++k) gap.makeNull(pats[5 + static_cast<std::size_t>(k)]);
    for (std::size_t k = 5 + removed; k < pats.size(); ++k) {
        uint8_t* p = gap.at(pats[k]);
        p[3] = static_cast<uint8_t>((p[3] & 0xF0) | ((p[3] - removed) & 0x0F));
    }
    expectCounts(run(gap.bytes), {{"pat_error", 1}});

    // Two PCRs in a row left out: 60 ms between PCRs, under the 100 ms of a discontinuity.
    Packets pcr{ts.bytes};
    const std::size_t at = pcr.find([&](std::size_t i) { return pcr.hasPcr(i); }, 30);
    pcr.at(at)[5] &= static_cast<uint8_t>(~0x10);
    pcr.at(pcr.find([&](std::size_t i) { return i > at && pcr.hasPcr(i); }))[5] &= static_cast<uint8_t>(~0x10);
    expectCounts(run(pcr.bytes), {{"pcr_repetition_error", 1}});

    // The clock put forward 200 ms from a PCR on: an error unless that PCR flags the discontinuity.
    Packets jump{ts.bytes};
    const std::size_t from = jump.find([&](std::size_t i) { return jump.hasPcr(i); }, 30);
    for (std::size_t i = from; i < jump.count(); ++i) {
        if (!jump.hasPcr(i)) continue;
        uint8_t* b = jump.at(i) + 6;
        uint64_t base =
            uint64_t{b[0]} << 25 | uint64_t{b[1]} << 17 | uint64_t{b[2]} << 9 | uint64_t{b[3]} << 1 | b[4] >> 7;
        base = (base + 18000) & ((uint64_t{1} << 33) - 1);
        b[0] = static_cast<uint8_t>(base >> 25), b[1] = static_cast<uint8_t>(base >> 17),
        b[2] = static_cast<uint8_t>(base >> 9);
        b[3] = static_cast<uint8_t>(base >> 1), b[4] = static_cast<uint8_t>((b[4] & 0x7F) | (base & 1) << 7);
    }
    EXPECT_EQ(run(jump.bytes)["transport"]["checks"]["pcr_discontinuity_indicator_error"], 1);
    jump.at(from)[5] |= 0x80;  // discontinuity_indicator
    expectCounts(run(jump.bytes), {});
}

// Integrated loudness, loudness range and true peak as ffmpeg's ebur128 filter gives them.
struct Loudness {
    double integrated = NAN, range = NAN, peak = NAN;
};

Loudness ffmpegLoudness(const std::filesystem::path& dir, const std::string& file) {
    const ProcessResult r = runProcess(ffmpegProgram(), {"-hide_banner", "-nostats", "-i", file, "-map", "0:a:0", "-af",
                                                         "ebur128=peak=true", "-f", "null", "-"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string summary = r.err.substr(r.err.rfind("Summary:"));
    auto number = [&](const std::string& label) {
        std::smatch m;
        return std::regex_search(summary, m, std::regex(label + R"(:\s+(-?[0-9.]+|-inf))")) ? std::stod(m[1]) : NAN;
    };
    return {number("I"), number("LRA"), number("Peak")};
}

TEST_F(TransportChecksTest, LoudnessMatchesFfmpegsMeterOnTestSignals) {
    // 1 kHz at -23 dBFS in both channels for 6 s (EBU Tech 3341, test 1: -23 LUFS), then 10 s at
    // -20 dBFS and 10 s at -30 dBFS (after Tech 3342, test 1: a range of 10 LU; shorter steps
    // leave the meters' ranges apart by how they count the short-term windows across the step),
    // as PCM beside a tiny video.
    const std::array<std::pair<std::string, std::string>, 2> signals{
        std::pair{"0.0707946*sin(2*PI*1000*t)", "6"},
        std::pair{R"((0.1-0.0683772*gte(t\,10))*sin(2*PI*997*t))", "20"}};
    for (const auto& [signal, seconds] : signals) {
        ASSERT_TRUE(runFfmpeg(dir.path, {"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=5", "-f", "lavfi", "-i",
                                         "aevalsrc=" + signal + "|" + signal + ":s=48000", "-t", seconds, "-c:v",
                                         "mpeg2video", "-c:a", "pcm_s16le", "tone.mkv"}));
        const Loudness expected = ffmpegLoudness(dir.path, "tone.mkv");
        const ProcessResult r = probe({"--no-log", "-q", "--format", "json", "--indicators", "blackout", "tone.mkv"});
        ASSERT_EQ(r.status, 0) << r.err;
        const json doc = json::parse(r.out);
        ASSERT_FALSE(doc.contains("transport"));
        ASSERT_EQ(doc["audio"].size(), 1u);
        const json& loudness = doc["audio"][0]["loudness"];
        EXPECT_NEAR(loudness["integrated"].get<double>(), expected.integrated, 0.1) << signal;
        EXPECT_NEAR(loudness["range"].get<double>(), expected.range, 0.5) << signal;
        EXPECT_NEAR(loudness["true_peak"].get<double>(), expected.peak, 0.3) << signal;
    }
    // A profile's loudness target: the first signal's -23 LUFS passes R128's and fails one of -30 +-2.
    writeFile(dir.path / "r128.toml",
              "schema = 1\nname = \"r128\"\nversion = \"1\"\n[loudness]\npreset = \"ebu-r128\"\n");
    writeFile(dir.path / "low.toml",
              "schema = 1\nname = \"low\"\nversion = \"1\"\n[loudness]\npreset = \"atsc-a85\"\ntarget = -30\n");
    const std::string first = "aevalsrc=" + signals[0].first + "|" + signals[0].first + ":s=48000";
    ASSERT_TRUE(runFfmpeg(dir.path, {"-f", "lavfi", "-i", "testsrc2=size=32x32:rate=5", "-f", "lavfi", "-i", first,
                                     "-t", "3", "-c:v", "mpeg2video", "-c:a", "pcm_s16le", "tone.mkv"}));
    EXPECT_EQ(probe({"--indicators", "blackout", "--profile", "r128.toml", "tone.mkv"}).status, 0);
    const ProcessResult low = probe({"--indicators", "blackout", "--profile", "low.toml", "tone.mkv"});
    EXPECT_EQ(low.status, 3);
    EXPECT_NE(low.err.find("loudness.integrated>-28"), std::string::npos) << low.err;
}

}  // namespace
