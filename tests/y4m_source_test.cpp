// Y4M input from files and pipes: the same luma planes as the raw clip,
// start frames, high bit depth, and malformed streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "io/y4m_source.h"
#include "sample_frames.h"
#include "sample/sample_video.h"
#include "test_support.h"

namespace {

std::unique_ptr<Y4mSource> openY4m(std::unique_ptr<ByteStream> stream, const std::string& name = "clip") {
    auto opened = Y4mSource::open(std::move(stream), name);
    if (auto* error = std::get_if<std::string>(&opened)) ADD_FAILURE() << *error;
    auto* source = std::get_if<std::unique_ptr<Y4mSource>>(&opened);
    return source ? std::move(*source) : nullptr;
}

std::unique_ptr<Y4mSource> openY4mFile(const std::filesystem::path& path) {
    std::string error;
    auto stream = ByteStream::open(path.string(), error);
    EXPECT_TRUE(stream) << error;
    return stream ? openY4m(std::move(stream), path.string()) : nullptr;
}

std::string openError(const std::string& bytes) {
    TempDir dir;
    writeFile(dir.path / "bad.y4m", bytes);
    std::string error;
    auto opened = Y4mSource::open(ByteStream::open((dir.path / "bad.y4m").string(), error), "bad.y4m");
    auto* message = std::get_if<std::string>(&opened);
    return message ? *message : "";
}

struct PipeStream {
    FILE* pipe;
    explicit PipeStream(const std::filesystem::path& path)
        : pipe(popen(("cat '" + path.string() + "'").c_str(), "r")) {}
    ~PipeStream() { pclose(pipe); }
};

SampleSpec clipSpec() {
    SampleSpec spec;
    spec.width = 35;  // odd sizes: the chroma planes are rounded up
    spec.height = 21;
    spec.frames = 6;
    spec.defects = {{"noise", 2, 3}};
    return spec;
}

}  // namespace

TEST(Y4mSource, FileGivesTheSampleLumaPlanesAndItsHeader) {
    TempDir dir;
    const SampleSpec spec = clipSpec();
    ASSERT_TRUE(writeSampleVideo(spec, (dir.path / "clip.y4m").string()));
    auto source = openY4mFile(dir.path / "clip.y4m");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->info().format, "y4m");
    EXPECT_EQ(source->info().width, 35u);
    EXPECT_EQ(source->info().height, 21u);
    EXPECT_EQ(source->info().fps, 25.0);
    EXPECT_EQ(source->info().frameCount, 6);
    EXPECT_EQ(source->info().bitDepth, 8);
    expectSampleFrames(*source, spec, 0);
}

TEST(Y4mSource, StartFramesOnFilesPipesAndStreamsInMemory) {
    TempDir dir;
    const SampleSpec spec = clipSpec();
    const auto path = dir.path / "clip.y4m";
    ASSERT_TRUE(writeSampleVideo(spec, path.string()));
    for (int32_t first : {0, 1, 4}) {
        SCOPED_TRACE(first);
        auto file = openY4mFile(path);
        ASSERT_TRUE(file);
        expectSampleFrames(*file, spec, first);

        PipeStream pipe(path);
        auto piped = openY4m(std::make_unique<ByteStream>(pipe.pipe, false));
        ASSERT_TRUE(piped);
        EXPECT_FALSE(piped->info().frameCount);
        expectSampleFrames(*piped, spec, first);

        // A stream in memory has no descriptor to wait on.
        std::string bytes = readFile(path);
        auto inMemory = openY4m(std::make_unique<ByteStream>(fmemopen(bytes.data(), bytes.size(), "rb"), true));
        ASSERT_TRUE(inMemory);
        expectSampleFrames(*inMemory, spec, first);
    }
    // A start beyond the end is the end, on a file and on a pipe.
    OwnedImage luma(spec.width, spec.height);
    EXPECT_EQ(openY4mFile(path)->read(9, luma.image).status, ReadResult::End);
    EXPECT_EQ(openY4mFile(path)->read(INT64_MAX / 2, luma.image).status, ReadResult::End);
    PipeStream pipe(path);
    EXPECT_EQ(openY4m(std::make_unique<ByteStream>(pipe.pipe, false))->read(9, luma.image).status, ReadResult::End);
}

TEST(Y4mSource, FrameLinesWithTagsOfVaryingLength) {
    // Seeking by the first frame's size lands off a FRAME line here; reading on from where it was must follow.
    TempDir dir;
    const SampleSpec spec = clipSpec();
    std::string bytes = "YUV4MPEG2 W35 H21 C420mpeg2 Ip XCOLORRANGE=FULL\n";
    const std::string chroma(2 * 18 * 11, '\x80');
    for (int32_t i = 0; i < spec.frames; ++i) {
        const auto luma = sampleLuma(spec, i);
        bytes += i % 2 ? "FRAME Ib Xlonger-tag\n" : "FRAME\n";
        bytes += std::string(luma.begin(), luma.end()) + chroma;
    }
    writeFile(dir.path / "tags.y4m", bytes);
    auto source = openY4mFile(dir.path / "tags.y4m");
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->info().fps);
    expectSampleFrames(*source, spec, 3);
}

TEST(Y4mSource, HighBitDepthIsMeasuredOnTheTopEightBits) {
    TempDir dir;
    const SampleSpec spec = clipSpec();
    for (const std::string colourSpace : {"420p10", "444p12", "mono16"}) {
        SCOPED_TRACE(colourSpace);
        const int depth = std::stoi(colourSpace.substr(colourSpace.size() - 2));
        const int shift = depth - 8;
        const std::size_t chromaSamples = colourSpace[0] == 'm' ? 0 : colourSpace[1] == '2' ? 2 * 18 * 11 : 2 * 35 * 21;
        std::string bytes = "YUV4MPEG2 W35 H21 F30000:1001 C" + colourSpace + "\n";
        for (int32_t i = 0; i < spec.frames; ++i) {
            bytes += "FRAME\n";
            int low = 0;
            for (uint8_t v : sampleLuma(spec, i)) {
                const unsigned sample = (static_cast<unsigned>(v) << shift) | (low++ & ((1u << shift) - 1));
                bytes += static_cast<char>(sample & 0xff);
                bytes += static_cast<char>(sample >> 8);
            }
            bytes += std::string(2 * chromaSamples, '\0');
        }
        writeFile(dir.path / "deep.y4m", bytes);
        auto source = openY4mFile(dir.path / "deep.y4m");
        ASSERT_TRUE(source);
        EXPECT_EQ(source->info().bitDepth, depth);
        EXPECT_NEAR(*source->info().fps, 29.97, 0.001);
        EXPECT_EQ(source->info().frameCount, spec.frames);
        expectSampleFrames(*source, spec, 1);
    }
}

TEST(Y4mSource, HeaderGivesTheFrameSizeOfEachColourSpace) {
    const struct {
        const char* header;
        uint64_t frameBytes;
        int bitDepth;
    } cases[] = {
        {"YUV4MPEG2 W5 H3", 15 + 2 * 3 * 2, 8},  // 420jpeg when C is absent
        {"YUV4MPEG2 W5 H3 C420paldv", 15 + 2 * 3 * 2, 8},
        {"YUV4MPEG2 W5 H3 C420", 15 + 2 * 3 * 2, 8},
        {"YUV4MPEG2 W5 H3 C422", 15 + 2 * 3 * 3, 8},
        {"YUV4MPEG2 W5 H3 C444", 15 * 3, 8},
        {"YUV4MPEG2 W5 H3 C444alpha", 15 * 4, 8},
        {"YUV4MPEG2 W5 H3 C411", 15 + 2 * 2 * 3, 8},
        {"YUV4MPEG2 W5 H3 Cmono", 15, 8},
        {"YUV4MPEG2 W5 H3 Cmono10", 30, 10},
        {"YUV4MPEG2 W5 H3 C422p12", 2 * (15 + 2 * 3 * 3), 12},
        {"YUV4MPEG2 W5 H3 C420p16 Zunknown A0:0", 2 * (15 + 2 * 3 * 2), 16},
        {"YUV4MPEG2  W5   H3 ", 15 + 2 * 3 * 2, 8},
    };
    for (const auto& c : cases) {
        Y4mFormat format;
        EXPECT_EQ(parseY4mHeader(c.header, format), "") << c.header;
        EXPECT_EQ(format.width, 5u);
        EXPECT_EQ(format.height, 3u);
        EXPECT_EQ(format.frameBytes, c.frameBytes) << c.header;
        EXPECT_EQ(format.bitDepth, c.bitDepth) << c.header;
    }
}

TEST(Y4mSource, MalformedHeadersGiveOneLineErrors) {
    const struct {
        std::string bytes;
        const char* expected;
    } cases[] = {
        {"YUV4MPEG2 H288 F25:1\nFRAME\n", "Invalid Y4M input bad.y4m: the header has no width (W)"},
        {"YUV4MPEG2 W352\n", "Invalid Y4M input bad.y4m: the header has no height (H)"},
        {"YUV4MPEG2 W0 H288\n", "Invalid Y4M input bad.y4m: invalid frame width \"W0\" (expected 1 to 1048576)"},
        {"YUV4MPEG2 W352 H-288\n", "Invalid Y4M input bad.y4m: invalid frame height \"H-288\" (expected 1 to 1048576)"},
        {"YUV4MPEG2 W4294967297 H4294967297\n", "Invalid Y4M input bad.y4m: invalid frame width \"W4294967297\""},
        {"YUV4MPEG2 W99999999999999999999 H2\n", "Invalid Y4M input bad.y4m: invalid frame width"},
        {"YUV4MPEG2 W352 H288 C420p8\n", "Invalid Y4M input bad.y4m: unknown colour space \"C420p8\""},
        {"YUV4MPEG2 W352 H288 Cxyz\n", "Invalid Y4M input bad.y4m: unknown colour space \"Cxyz\""},
        {"YUV4MPEG2 W352 H288 Fabc\n", "Invalid Y4M input bad.y4m: invalid frame rate \"Fabc\""},
        {"YUV4MPEG2 W352 H288", "Invalid Y4M input bad.y4m: the header has no end of line"},
        {"", "Invalid Y4M input bad.y4m: the header has no end of line"},
        {"YUV4MPEG2 W352 H288 X" + std::string(5000, 'x') + "\n",
         "Invalid Y4M input bad.y4m: the header is longer than 4096 bytes"},
        {"YUV4MPEG W352 H288\n", "Invalid Y4M input bad.y4m: it does not start with \"YUV4MPEG2 \""},
    };
    for (const auto& c : cases) {
        const std::string error = openError(c.bytes);
        EXPECT_EQ(error.compare(0, std::string(c.expected).size(), c.expected), 0) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
}

TEST(Y4mSource, BadFrameLinesStopReadingWithAnError) {
    TempDir dir;
    const std::string header = "YUV4MPEG2 W4 H2 Cmono\n";
    const struct {
        std::string frames;
        const char* expected;
    } cases[] = {
        {"FRAME\n12345678FRAMX\n12345678", "Invalid Y4M input bad.y4m: frame 1 does not start with a FRAME line"},
        {"FRAME\n12345678FRAMES\n12345678", "Invalid Y4M input bad.y4m: frame 1 does not start with a FRAME line"},
        {"FRAME\n12345678FRAME " + std::string(5000, 'x') + "\n12345678",
         "Invalid Y4M input bad.y4m: the FRAME line of frame 1 is longer than 4096 bytes"},
        // Frame data without a line end where the FRAME line is missing.
        {"FRAME\n12345678" + std::string(5000, 'x'),
         "Invalid Y4M input bad.y4m: frame 1 does not start with a FRAME line"},
    };
    for (const auto& c : cases) {
        writeFile(dir.path / "bad.y4m", header + c.frames);
        std::string error;
        auto source = openY4m(ByteStream::open((dir.path / "bad.y4m").string(), error), "bad.y4m");
        ASSERT_TRUE(source);
        OwnedImage luma(4, 2);
        ASSERT_EQ(source->read(0, luma.image).status, ReadResult::Frame);
        EXPECT_EQ(std::string(luma.samples.begin(), luma.samples.end()), "12345678");
        const ReadResult result = source->read(1, luma.image);
        EXPECT_EQ(result.status, ReadResult::Error);
        EXPECT_EQ(result.message, c.expected);
        // Landing on frame 1 directly checks its marker as well.
        source = openY4m(ByteStream::open((dir.path / "bad.y4m").string(), error), "bad.y4m");
        EXPECT_EQ(source->read(1, luma.image).message, c.expected);
    }
}

TEST(Y4mSource, TruncatedLastFrameIsReportedAndNotMeasured) {
    TempDir dir;
    const std::string header = "YUV4MPEG2 W4 H2 C444\n";
    const std::string whole = "FRAME\n" + std::string(24, 'a');
    for (const std::string& tail :
         {std::string("FRAME\nbbbbbbbbcccc"), std::string("FRAME\nbbb"), std::string("FRA")}) {
        writeFile(dir.path / "cut.y4m", header + whole + tail);
        std::string error;
        auto source = openY4m(ByteStream::open((dir.path / "cut.y4m").string(), error), "cut.y4m");
        ASSERT_TRUE(source);
        EXPECT_FALSE(source->info().frameCount);
        OwnedImage luma(4, 2);
        EXPECT_EQ(source->read(0, luma.image).status, ReadResult::Frame);
        testing::internal::CaptureStderr();
        EXPECT_EQ(source->read(1, luma.image).status, ReadResult::End);
        const std::string err = testing::internal::GetCapturedStderr();
        const std::size_t payload = tail.size() > 6 ? tail.size() - 6 : 0;
        EXPECT_EQ(err, "frameprobe: the last frame of cut.y4m is truncated (" + std::to_string(payload) +
                           " of 24 bytes); it is not measured\n");
    }
}
