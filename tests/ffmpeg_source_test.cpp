// Decoded input, read through the FFmpeg module as the program reads it:
// lossless containers give the sample's luma planes in every pixel layout,
// lossy ones the planes the ffmpeg program decodes, RGB is converted with
// BT.601 into the limited range.
#include <gtest/gtest.h>

#include "ffmpeg_fixtures.h"
#include "io/ffmpeg_module.h"

namespace {

std::variant<std::unique_ptr<FrameSource>, std::string> openContainer(const std::filesystem::path& path, int stream) {
    auto module = ffmpegModule();
    if (auto* error = std::get_if<std::string>(&module)) return *error;
    return std::get<const FfmpegModule*>(module)->open(ContainerRequest{path.string(), stream, {}, "quiet"});
}

std::unique_ptr<FrameSource> openDecoded(const std::filesystem::path& path, int stream = -1) {
    auto opened = openContainer(path, stream);
    if (auto* error = std::get_if<std::string>(&opened)) ADD_FAILURE() << *error;
    auto* source = std::get_if<std::unique_ptr<FrameSource>>(&opened);
    return source ? std::move(*source) : nullptr;
}

std::string openError(const std::filesystem::path& path, int stream = -1) {
    auto opened = openContainer(path, stream);
    auto* error = std::get_if<std::string>(&opened);
    return error ? *error : "";
}

class FfmpegSourceTest : public testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_FFMPEG();
        spec.width = 64;
        spec.height = 48;
        spec.frames = 8;
        spec.defects = {{"noise", 1, 2}, {"blocks", 5, 6}};
        ASSERT_TRUE(writeSampleVideo(spec, (dir.path / "clip.yuv").string()));
    }
    TempDir dir;
    SampleSpec spec;
};

}  // namespace

TEST_F(FfmpegSourceTest, LosslessFramesGiveTheSampleLumaInEveryLayout) {
    // Grey outputs are made from a grey clip: ffmpeg would stretch 4:2:0 luma to the full range.
    const struct {
        const char* file;
        const char* layout;
        std::vector<std::string> codec;
        int bitDepth;
    } cases[] = {
        {"ffv1.mkv", "yuv420p", {"-c:v", "ffv1"}, 8},
        {"gray.mkv", "gray", {"-c:v", "ffv1"}, 8},
        {"nv12.nut", "yuv420p", {"-c:v", "rawvideo", "-pix_fmt", "nv12"}, 8},
        {"uyvy.nut", "yuv420p", {"-c:v", "rawvideo", "-pix_fmt", "uyvy422"}, 8},
        {"deep.mkv", "yuv420p", {"-c:v", "ffv1", "-pix_fmt", "yuv420p10le"}, 10},
        {"deep-be.nut", "yuv420p", {"-c:v", "rawvideo", "-pix_fmt", "yuv420p10be"}, 10},
        {"gray16be.nut", "gray", {"-c:v", "rawvideo", "-pix_fmt", "gray16be"}, 16},
    };
    std::string grey;
    for (int32_t i = 0; i < spec.frames; ++i) {
        const auto plane = sampleLuma(spec, i);
        grey.append(plane.begin(), plane.end());
    }
    writeFile(dir.path / "clip.gray", grey);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const bool grey = std::string(c.layout) == "gray";
        ASSERT_TRUE(encodeSample(dir.path, spec, grey ? "clip.gray" : "clip.yuv", c.file, c.codec, c.layout));
        auto source = openDecoded(dir.path / c.file);
        ASSERT_TRUE(source);
        EXPECT_EQ(source->info().width, 64u);
        EXPECT_EQ(source->info().height, 48u);
        EXPECT_EQ(source->info().fps, 25.0);
        EXPECT_EQ(source->info().bitDepth, c.bitDepth);
        OwnedImage luma(spec.width, spec.height);
        for (int32_t i = 0; i < spec.frames; ++i) {
            ASSERT_EQ(source->read(i, luma.image).status, ReadResult::Frame) << "frame " << i;
            ASSERT_EQ(luma.samples, sampleLuma(spec, i)) << "frame " << i;
        }
        EXPECT_EQ(source->read(spec.frames, luma.image).status, ReadResult::End);
    }
}

TEST_F(FfmpegSourceTest, ContainerNameAndStartFrames) {
    ASSERT_TRUE(encodeSample(dir.path, spec, "clip.yuv", "clip.mkv", {"-c:v", "ffv1"}));
    for (int32_t first : {1, 5, 7}) {
        auto source = openDecoded(dir.path / "clip.mkv");
        ASSERT_TRUE(source);
        EXPECT_EQ(source->info().format, "matroska");
        OwnedImage luma(spec.width, spec.height);
        for (int32_t i = first; i < spec.frames; ++i) {
            ASSERT_EQ(source->read(i, luma.image).status, ReadResult::Frame);
            ASSERT_EQ(luma.samples, sampleLuma(spec, i)) << "start " << first << ", frame " << i;
        }
        EXPECT_EQ(source->read(spec.frames, luma.image).status, ReadResult::End);
    }
    auto source = openDecoded(dir.path / "clip.mkv");
    OwnedImage luma(spec.width, spec.height);
    EXPECT_EQ(source->read(20, luma.image).status, ReadResult::End);
}

TEST_F(FfmpegSourceTest, LossyMp4GivesThePlanesTheFfmpegProgramDecodes) {
    // B-frames make the decoder hold frames back until it is drained at the end.
    ASSERT_TRUE(encodeSample(dir.path, spec, "clip.yuv", "clip.mp4",
                             {"-c:v", "libx264", "-preset", "fast", "-bf", "3", "-crf", "30", "-pix_fmt", "yuv420p"}));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-i", "clip.mp4", "-fps_mode", "passthrough", "-f", "rawvideo", "-pix_fmt",
                                     "yuv420p", "decoded.yuv"}));
    const std::string decoded = readFile(dir.path / "decoded.yuv");
    const std::size_t lumaSize = 64 * 48, frameSize = lumaSize * 3 / 2;
    ASSERT_EQ(decoded.size(), frameSize * spec.frames);
    auto source = openDecoded(dir.path / "clip.mp4");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->info().format, "mov");
    EXPECT_EQ(source->info().frameCount, spec.frames);
    OwnedImage luma(spec.width, spec.height);
    bool lossy = false;
    for (int32_t i = 0; i < spec.frames; ++i) {
        ASSERT_EQ(source->read(i, luma.image).status, ReadResult::Frame) << "frame " << i;
        const std::string expected = decoded.substr(i * frameSize, lumaSize);
        ASSERT_EQ(std::string(luma.samples.begin(), luma.samples.end()), expected) << "frame " << i;
        lossy |= luma.samples != sampleLuma(spec, i);
    }
    EXPECT_TRUE(lossy);
    EXPECT_EQ(source->read(spec.frames, luma.image).status, ReadResult::End);
}

TEST_F(FfmpegSourceTest, RgbIsConvertedWithBt601IntoTheLimitedRange) {
    // White, black, red, green and blue frames.
    const int colours[][3] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    const int expected[] = {235, 16, 82, 145, 41};  // 16 + 219 * (0.299 R + 0.587 G + 0.114 B) / 255
    std::string rgb;
    for (const auto& c : colours)
        for (int i = 0; i < 16 * 8; ++i)
            rgb += {static_cast<char>(c[0]), static_cast<char>(c[1]), static_cast<char>(c[2])};
    writeFile(dir.path / "rgb.raw", rgb);
    ASSERT_TRUE(runFfmpeg(dir.path, {"-f", "rawvideo", "-pix_fmt", "rgb24", "-s", "16x8", "-r", "25", "-i", "rgb.raw",
                                     "-c:v", "rawvideo", "-pix_fmt", "rgb24", "rgb.nut"}));
    auto source = openDecoded(dir.path / "rgb.nut");
    ASSERT_TRUE(source);
    OwnedImage luma(16, 8);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(source->read(i, luma.image).status, ReadResult::Frame);
        for (uint8_t v : luma.samples) ASSERT_NEAR(v, expected[i], 1) << "frame " << i;
    }
}

TEST_F(FfmpegSourceTest, AFrameOfAnotherSizeIsAnErrorNotAnOverrun) {
    // Two MPEG-TS files joined byte by byte: the stream changes size after frame 7.
    SampleSpec small = spec;
    small.width = small.height = 32;
    ASSERT_TRUE(writeSampleVideo(small, (dir.path / "small.yuv").string()));
    ASSERT_TRUE(encodeSample(dir.path, spec, "clip.yuv", "first.ts", {"-c:v", "libx264", "-bf", "0"}));
    ASSERT_TRUE(encodeSample(dir.path, small, "small.yuv", "second.ts", {"-c:v", "libx264", "-bf", "0"}));
    writeFile(dir.path / "joined.ts", readFile(dir.path / "first.ts") + readFile(dir.path / "second.ts"));
    auto source = openDecoded(dir.path / "joined.ts");
    ASSERT_TRUE(source);
    OwnedImage luma(spec.width, spec.height);
    for (int32_t i = 0; i < spec.frames; ++i) ASSERT_EQ(source->read(i, luma.image).status, ReadResult::Frame);
    const ReadResult result = source->read(spec.frames, luma.image);
    EXPECT_EQ(result.status, ReadResult::Error);
    EXPECT_EQ(result.message,
              "Frame 8 of " + (dir.path / "joined.ts").string() + " is 32x32, not 64x48 as the stream states");
}

TEST_F(FfmpegSourceTest, StreamChoiceAndOpeningErrors) {
    ASSERT_TRUE(runFfmpeg(dir.path, {"-f", "lavfi", "-i", "sine=duration=0.2", "sound.wav"}));
    ASSERT_TRUE(runFfmpeg(dir.path, {"-f", "lavfi", "-i", "sine=duration=0.3", "-f", "rawvideo", "-pix_fmt", "yuv420p",
                                     "-s", "64x48", "-r", "25", "-i", "clip.yuv", "-map", "0:a", "-map", "1:v",
                                     "-c:v", "ffv1", "both.mkv"}));
    auto source = openDecoded(dir.path / "both.mkv");  // the first video stream is stream 1
    ASSERT_TRUE(source);
    OwnedImage luma(spec.width, spec.height);
    ASSERT_EQ(source->read(0, luma.image).status, ReadResult::Frame);
    EXPECT_EQ(luma.samples, sampleLuma(spec, 0));
    EXPECT_TRUE(openDecoded(dir.path / "both.mkv", 1));

    const std::string both = (dir.path / "both.mkv").string();
    EXPECT_EQ(openError(dir.path / "both.mkv", 0), "Stream 0 of " + both + " is not a video stream");
    EXPECT_EQ(openError(dir.path / "both.mkv", 2), both + " has no stream 2 (its streams are 0 to 1)");
    EXPECT_EQ(openError(dir.path / "sound.wav"), (dir.path / "sound.wav").string() + " has no video stream");
    EXPECT_EQ(openError(dir.path / "missing.mkv"),
              "Could not open " + (dir.path / "missing.mkv").string() + ": No such file or directory");
    writeFile(dir.path / "garbage.mkv", std::string(100, '\x1a'));
    EXPECT_NE(openError(dir.path / "garbage.mkv").find("Could not "), std::string::npos);
}
