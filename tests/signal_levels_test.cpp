// Levels and colour at the picture's own depth: the QCTools file holds what ffmpeg's
// signalstats says of the same pictures, and EBU R103's shares count the right samples.
#include <gtest/gtest.h>
#include <zlib.h>

#include <map>
#include <random>
#include <regex>

#include <nlohmann/json.hpp>

#include "ffmpeg_fixtures.h"
#include "indicators/signal_levels.h"
#include "kernels/kernels.h"
#include "tools/levels.h"
#include "tools/levels_8bit.h"

namespace {

constexpr uint32_t kW = 64, kH = 48;
constexpr int kFrames = 3;

struct Layout {
    const char* pixelFormat;
    int depth;
    int log2w, log2h;
    uint32_t width = kW, height = kH;
    std::string size() const { return std::to_string(width) + "x" + std::to_string(height); }
};

// Samples over the whole code range, superwhites and chroma far from grey included, that
// change from frame to frame.
std::string clipBytes(const Layout& l) {
    std::string bytes;
    const unsigned mask = (1u << l.depth) - 1;
    for (int f = 0; f < kFrames; ++f)
        for (int p = 0; p < 3; ++p) {
            // Chroma of odd sizes takes the last place's half sample too.
            const uint32_t w = p ? (l.width + (1u << l.log2w) - 1) >> l.log2w : l.width;
            const uint32_t h = p ? (l.height + (1u << l.log2h) - 1) >> l.log2h : l.height;
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x) {
                    const unsigned v = ((x * 37u + y * 101u + static_cast<unsigned>(p) * 59u) * 2654435761u >> 7) +
                                       static_cast<unsigned>(f) * 13u;
                    const unsigned s = v & mask;
                    bytes.push_back(static_cast<char>(s & 0xFF));
                    if (l.depth > 8) bytes.push_back(static_cast<char>(s >> 8));
                }
        }
    return bytes;
}

std::string gunzip(const std::filesystem::path& path) {
    gzFile in = gzopen(path.c_str(), "rb");
    if (in == nullptr) return "";
    std::string text;
    char buffer[8192];
    for (int n; (n = gzread(in, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    gzclose(in);
    return text;
}

using Stats = std::vector<std::map<std::string, double>>;

// Per frame, the signalstats values of metadata=print's file or of the QCTools XML.
Stats parse(const std::string& text, const std::regex& frameStart, const std::regex& stat) {
    Stats frames;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, frameStart)) frames.emplace_back();
        else if (std::regex_search(line, m, stat) && !frames.empty()) frames.back()[m[1]] = std::stod(m[2]);
    }
    return frames;
}

class SignalLevelsTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(SignalLevelsTest, QctoolsFileHoldsWhatSignalstatsSays) {
    SKIP_WITHOUT_FFMPEG();
    for (const Layout& l : {Layout{"yuv420p", 8, 1, 1}, Layout{"yuv422p10le", 10, 1, 0},
                            Layout{"yuv422p", 8, 1, 0, 37, 23}, Layout{"yuv422p10le", 10, 1, 0, 37, 23}}) {
        SCOPED_TRACE(std::string(l.pixelFormat) + " " + l.size());
        writeFile(dir.path / "clip.yuv", clipBytes(l));
        ASSERT_TRUE(
            runFfmpeg(dir.path, {"-f", "rawvideo", "-pix_fmt", l.pixelFormat, "-s", l.size(), "-i", "clip.yuv", "-vf",
                                 "signalstats=stat=brng,metadata=print:file=stats.txt", "-f", "null", "-"}));
        const ProcessResult run =
            runProcess(FRAMEPROBE_BINARY,
                       {"-s", l.size(), "--pix-fmt", l.pixelFormat, "-o", "clip.qctools.xml.gz", "clip.yuv"}, dir.path);
        ASSERT_EQ(run.status, 0) << run.err;
        const Stats expected = parse(readFile(dir.path / "stats.txt"), std::regex("^frame:"),
                                     std::regex(R"(lavfi\.signalstats\.(\w+)=(\S+))"));
        const std::string xml = gunzip(dir.path / "clip.qctools.xml.gz");
        ASSERT_NE(xml.find("</ffprobe>"), std::string::npos) << xml.substr(0, 400);
        const Stats got = parse(xml, std::regex("<frame "),
                                std::regex(R"re(key="lavfi\.signalstats\.(\w+)" value="([^"]+)")re"));
        ASSERT_EQ(got.size(), std::size_t{kFrames});
        ASSERT_EQ(expected.size(), got.size());
        for (std::size_t f = 0; f < got.size(); ++f)
            for (int k = 0; k < kSignalStatCount; ++k) {
                const std::string name = kSignalStatNames[static_cast<std::size_t>(k)];
                SCOPED_TRACE(name + " of frame " + std::to_string(f));
                ASSERT_TRUE(expected[f].count(name) && got[f].count(name));
                // Hue of deeper pictures is left out: signalstats' HUE* of them is no angle of
                // the chroma samples as they stand.
                if (l.depth > 8 && name.rfind("HUE", 0) == 0) continue;
                if (isWholeStat(k))
                    EXPECT_EQ(got[f].at(name), expected[f].at(name));
                else
                    EXPECT_NEAR(got[f].at(name), expected[f].at(name), 0.01);
            }
        EXPECT_EQ(got[0].at("YBITDEPTH"), l.depth);
    }
}

// The shares counted a row at a time by each CPU level's kernel are those of the plain one,
// at 4:2:0 and 4:4:4.
TEST_F(SignalLevelsTest, EveryCpuLevelCountsTheSameShares) {
    for (const Layout& l : {Layout{"yuv420p", 8, 1, 1}, Layout{"yuv444p", 8, 0, 0}}) {
        const char* layout = l.pixelFormat;
        SCOPED_TRACE(layout);
        writeFile(dir.path / "clip.yuv", clipBytes(l));
        std::string first;
        for (const char* cpu : {"FRAMEPROBE_CPU=plain", "FRAMEPROBE_CPU=avx2"}) {
            const ProcessResult run = runProcess(FRAMEPROBE_BINARY,
                                                 {"-s", "64x48", "--pix-fmt", layout, "--format", "csv", "--indicators",
                                                  "brng,r103_luma,r103_rgb", "clip.yuv"},
                                                 dir.path, {cpu});
            ASSERT_EQ(run.status, 0) << run.err;
            if (first.empty()) first = run.out;
            EXPECT_EQ(run.out, first) << cpu;
        }
    }
}

// 8-bit pictures are counted against whole-code bounds made once per chroma pair: the counts
// are those of R, G and B made of each pixel in real numbers, for every matrix and range, with
// black, white and the chroma's extremes, on every CPU level, and those outside the broadcast
// range are those of its limits.
TEST(R103Counts, WholeCodeBoundsCountWhatRealNumbersDo) {
    constexpr uint32_t w = 37, h = 23, cw = 19, ch = 12;
    std::mt19937 random(11);
    std::vector<uint8_t> y(w * h), u(cw * ch), v(cw * ch);
    const uint8_t extremes[] = {0, 1, 4, 5, 15, 16, 128, 235, 236, 240, 241, 246, 247, 254, 255};
    for (auto* plane : {&y, &u, &v})
        for (uint8_t& s : *plane)
            s = random() % 3 ? static_cast<uint8_t>(random()) : extremes[random() % std::size(extremes)];
    // Black and white of grey chroma: full range's limits are the codes' own.
    u[0] = v[0] = 128;
    y[0] = 0;
    y[1] = 255;
    Picture picture;
    picture.planes = {SamplePlane{y.data(), w, w, h}, SamplePlane{u.data(), cw, cw, ch},
                      SamplePlane{v.data(), cw, cw, ch}};
    picture.planeCount = 3;
    Levels8Work work;
    Levels8 eight;
    for (const ColourMatrix matrix : {ColourMatrix::Bt601, ColourMatrix::Bt709, ColourMatrix::Bt2020})
        for (const bool full : {false, true}) {
            picture.matrix = matrix;
            picture.fullRange = full;
            const R103Limits limits = r103Limits(8, full);
            const double kr = matrix == ColourMatrix::Bt601 ? 0.299 : matrix == ColourMatrix::Bt709 ? 0.2126 : 0.2627;
            const double kb = matrix == ColourMatrix::Bt601 ? 0.114 : matrix == ColourMatrix::Bt709 ? 0.0722 : 0.0593;
            const double scale = full ? 1.0 : 219.0 / 224.0;
            uint64_t luma = 0, rgb = 0, broadcast = 0;
            for (uint32_t row = 0; row < h; ++row)
                for (uint32_t x = 0; x < w; ++x) {
                    const double s = y[row * w + x], cb = u[row / 2 * cw + x / 2] - 128.0,
                                 cr = v[row / 2 * cw + x / 2] - 128.0;
                    // Each of R, G and B as Y plus its offset, so that grey is Y exactly.
                    const double dr = 2 * (1 - kr) * scale * cr, db = 2 * (1 - kb) * scale * cb;
                    const double r = s + dr, b = s + db, g = s - (kr * dr + kb * db) / (1 - kr - kb);
                    const auto out = [&](double c) { return c < limits.low || c > limits.high; };
                    luma += out(s);
                    rgb += out(r) || out(g) || out(b);
                    // Broadcast range: Y 16-235, Cb and Cr 16-240.
                    broadcast += s < 16 || s > 235 || cb + 128 < 16 || cb + 128 > 240 || cr + 128 < 16 || cr + 128 > 240;
                }
            const OutsideCounts counts = countOutside(picture, limits.low, limits.high);
            EXPECT_EQ(counts.luma, luma);
            EXPECT_EQ(counts.rgb, rgb);
            for (const Kernels* k : availableKernels()) {
                measureLevels8(picture, limits.low, limits.high, work, k->outsideBounds, eight);
                EXPECT_EQ(eight.rgbOutside, rgb) << cpuLevelName(k->level);
                EXPECT_EQ(eight.broadcastOutside, broadcast) << cpuLevelName(k->level);
            }
        }
}

// One picture of grey (Y 128, chroma 128) whose first row of luma is `row` and whose top-left
// chroma sample is `v` (Cr), at `depth` bits, 4:2:0.
std::string greyPicture(int depth, unsigned row, unsigned v) {
    std::string bytes;
    auto put = [&](unsigned s) {
        bytes.push_back(static_cast<char>(s & 0xFF));
        if (depth > 8) bytes.push_back(static_cast<char>(s >> 8));
    };
    const unsigned grey = 128u << (depth - 8);
    for (uint32_t i = 0; i < kW * kH; ++i) put(i < kW ? row : grey);
    for (uint32_t i = 0; i < kW * kH / 4; ++i) put(grey);
    for (uint32_t i = 0; i < kW * kH / 4; ++i) put(i == 0 ? v : grey);
    return bytes;
}

TEST_F(SignalLevelsTest, R103CountsSamplesBeyondItsLimitsAtTheInputsDepth) {
    struct Case {
        int depth;
        unsigned row, v;
        double luma, rgb;
    };
    const double row = double{kW} / (kW * kH);
    // 8 bits: codes 5 to 246 are within; 10 bits: 20 to 984. A red far beyond 105 % with
    // luma within counts for RGB alone (the 2x2 pixels of the chroma sample).
    for (const Case& c : {Case{8, 246, 128, 0, 0}, Case{8, 247, 128, row, row}, Case{8, 5, 128, 0, 0},
                          Case{8, 4, 128, row, row}, Case{10, 984, 512, 0, 0}, Case{10, 985, 512, row, row},
                          Case{8, 128, 240, 0, 4.0 / (kW * kH)}}) {
        SCOPED_TRACE(std::to_string(c.depth) + " bits, row " + std::to_string(c.row) + ", Cr " + std::to_string(c.v));
        writeFile(dir.path / "grey.yuv", greyPicture(c.depth, c.row, c.v));
        const ProcessResult run =
            runProcess(FRAMEPROBE_BINARY, {"-s", "64x48", "--pix-fmt", c.depth > 8 ? "yuv420p10le" : "yuv420p",
                                           "--format", "json", "--indicators", "r103_luma,r103_rgb", "grey.yuv"},
                       dir.path);
        ASSERT_EQ(run.status, 0) << run.err;
        const nlohmann::json frame = nlohmann::json::parse(run.out)["frames"][0];
        EXPECT_DOUBLE_EQ(frame["r103_luma"].get<double>(), c.luma);
        EXPECT_DOUBLE_EQ(frame["r103_rgb"].get<double>(), c.rgb);
    }
}

}  // namespace
