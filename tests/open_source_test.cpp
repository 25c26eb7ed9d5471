// Detection and opening of every input kind: the same luma planes from a Y4M
// file, Y4M on standard input, a lossless container and ffmpeg's Y4M pipe;
// raw YUV on a pipe keeps the bytes detection looked at.
#include <gtest/gtest.h>
#include <unistd.h>

#include "ffmpeg_fixtures.h"
#include "io/open_source.h"
#include "io/y4m_source.h"
#include "sample_frames.h"

namespace {

// Standard input taken from a command's output for the life of the object.
struct StdinFrom {
    FILE* pipe;
    int saved;
    explicit StdinFrom(const std::string& command) : pipe(popen(command.c_str(), "r")), saved(dup(0)) {
        dup2(fileno(pipe), 0);
        clearerr(stdin);
    }
    ~StdinFrom() {
        while (fgetc(stdin) != EOF) {
        }  // leaves nothing of this pipe in stdin's buffer
        dup2(saved, 0);
        close(saved);
        clearerr(stdin);
        pclose(pipe);
    }
};

std::string detectError(const OpenRequest& request) {
    auto detected = detectInput(request);
    auto* error = std::get_if<std::string>(&detected);
    return error ? *error : "";
}

std::optional<InputKind> kindOf(const OpenRequest& request) {
    auto detected = detectInput(request);
    if (auto* error = std::get_if<std::string>(&detected)) {
        ADD_FAILURE() << *error;
        return std::nullopt;
    }
    return std::get<DetectedInput>(detected).kind;
}

std::unique_ptr<FrameSource> openInput(const OpenRequest& request) {
    auto detected = detectInput(request);
    if (auto* error = std::get_if<std::string>(&detected)) {
        ADD_FAILURE() << *error;
        return nullptr;
    }
    auto opened = openSource(request, std::move(std::get<DetectedInput>(detected)));
    if (auto* error = std::get_if<std::string>(&opened)) {
        ADD_FAILURE() << *error;
        return nullptr;
    }
    return std::move(std::get<std::unique_ptr<FrameSource>>(opened));
}

std::string openError(const OpenRequest& request) {
    auto detected = detectInput(request);
    if (auto* error = std::get_if<std::string>(&detected)) return *error;
    auto opened = openSource(request, std::move(std::get<DetectedInput>(detected)));
    auto* error = std::get_if<std::string>(&opened);
    return error ? *error : "";
}

class OpenSourceTest : public testing::Test {
protected:
    void SetUp() override {
        spec.width = 48;
        spec.height = 32;
        spec.frames = 7;
        spec.defects = {{"noise", 1, 2}, {"freeze", 4, 5}};
        ASSERT_TRUE(writeSampleVideo(spec, path("clip.yuv")));
        ASSERT_TRUE(writeSampleVideo(spec, path("clip.y4m")));
    }
    std::string path(const std::string& name) const { return (dir.path / name).string(); }
    TempDir dir;
    SampleSpec spec;
};

}  // namespace

TEST_F(OpenSourceTest, EveryKindGivesTheLumaPlanesOfTheRawClip) {
    const std::string raw = readFile(path("clip.yuv"));
    for (int32_t i = 0; i < spec.frames; ++i) {
        const auto luma = sampleLuma(spec, i);
        ASSERT_EQ(raw.substr(i * 48 * 32 * 3 / 2, 48 * 32), std::string(luma.begin(), luma.end()));
    }
    for (int32_t first : {0, 3}) {
        SCOPED_TRACE(first);
        auto file = openInput({path("clip.y4m"), {}, {}, -1});
        ASSERT_TRUE(file);
        EXPECT_EQ(file->info().format, "y4m");
        expectSampleFrames(*file, spec, first);

        StdinFrom cat("cat '" + path("clip.y4m") + "'");
        auto piped = openInput({"-", 48, 32, -1});
        ASSERT_TRUE(piped);
        EXPECT_FALSE(piped->info().frameCount);
        expectSampleFrames(*piped, spec, first);
    }
    SKIP_WITHOUT_FFMPEG();
    ASSERT_TRUE(encodeSample(dir.path, spec, "clip.yuv", "clip.mkv", {"-c:v", "ffv1"}));
    auto container = openInput({path("clip.mkv"), 48, 32, -1});
    ASSERT_TRUE(container);
    EXPECT_EQ(container->info().format, "matroska");
    expectSampleFrames(*container, spec, 2);

    // 10-bit Y4M as ffmpeg writes it: its top 8 bits are the clip's samples.
    ASSERT_TRUE(encodeSample(dir.path, spec, "clip.yuv", "deep.y4m",
                             {"-pix_fmt", "yuv420p10le", "-f", "yuv4mpegpipe", "-strict", "-1"}));
    auto deep = openInput({path("deep.y4m"), {}, {}, -1});
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->info().bitDepth, 10);
    expectSampleFrames(*deep, spec, 0);

    // ffmpeg -i clip.mkv -f yuv4mpegpipe - | frameprobe -
    std::string command = "'";  // built step by step: GCC 12 warns falsely on one long concatenation
    command += ffmpegProgram();
    command += "' -loglevel error -i '" + path("clip.mkv") + "' -f yuv4mpegpipe -";
    StdinFrom ffmpeg(command);
    auto piped = openInput({"-", {}, {}, -1});
    ASSERT_TRUE(piped);
    EXPECT_EQ(piped->info().fps, 25.0);
    expectSampleFrames(*piped, spec, 1);
}

TEST_F(OpenSourceTest, RawYuvOnAPipeKeepsTheBytesDetectionLookedAt) {
    StdinFrom cat("cat '" + path("clip.yuv") + "'");
    auto detected = detectInput({"-", 48, 32, -1});
    ASSERT_TRUE(std::holds_alternative<DetectedInput>(detected));
    DetectedInput& input = std::get<DetectedInput>(detected);
    EXPECT_EQ(input.kind, InputKind::Raw);
    ASSERT_TRUE(input.stream);
    EXPECT_FALSE(input.stream->seekable());
    const std::string expected = readFile(path("clip.yuv"));
    std::string all(expected.size() + 1, '\0');
    all.resize(input.stream->read(all.data(), all.size()));
    EXPECT_EQ(all, expected);
}

TEST_F(OpenSourceTest, DetectionByMagicThenExtensionThenProbe) {
    std::filesystem::copy_file(path("clip.y4m"), path("y4m-named.yuv"));
    std::filesystem::copy_file(path("clip.yuv"), path("clip.RAW"));
    std::filesystem::copy_file(path("clip.yuv"), path("clip.bin"));
    EXPECT_EQ(kindOf({path("clip.y4m"), {}, {}, -1}), InputKind::Y4m);
    EXPECT_EQ(kindOf({path("y4m-named.yuv"), {}, {}, -1}), InputKind::Y4m);
    EXPECT_EQ(kindOf({path("clip.yuv"), 48, 32, -1}), InputKind::Raw);
    EXPECT_EQ(kindOf({path("clip.RAW"), 48, 32, -1}), InputKind::Raw);
    EXPECT_EQ(kindOf({path("clip.bin"), 48, 32, -1}), InputKind::Raw);  // nothing else recognises it

    // A raw file's stream is handed over at its start.
    auto raw = detectInput({path("clip.yuv"), 48, 32, -1});
    char first[4] = {};
    ASSERT_EQ(std::get<DetectedInput>(raw).stream->read(first, 4), 4u);
    EXPECT_EQ(std::string(first, 4), readFile(path("clip.yuv")).substr(0, 4));

    EXPECT_EQ(detectError({path("clip.yuv"), {}, {}, -1}),
              "Raw YUV input " + path("clip.yuv") + " needs a width and a height");
    EXPECT_EQ(detectError({path("clip.yuv"), 48, {}, -1}),
              "Raw YUV input " + path("clip.yuv") + " needs a width and a height");
    EXPECT_EQ(detectError({path("clip.bin"), {}, {}, -1}),
              "Cannot tell what " + path("clip.bin") + " holds; raw YUV input needs a width and a height");
    EXPECT_EQ(detectError({path("missing.y4m"), {}, {}, -1}),
              "Could not open " + path("missing.y4m") + ": No such file or directory");
    {
        StdinFrom cat("cat '" + path("clip.yuv") + "'");
        EXPECT_EQ(detectError({"-", {}, {}, -1}),
                  "standard input is not Y4M; raw YUV from standard input needs a width and a height");
    }
    {
        StdinFrom nothing("true");
        EXPECT_EQ(detectError({"-", {}, {}, -1}), "standard input is empty");
    }
    SKIP_WITHOUT_FFMPEG();
    ASSERT_TRUE(encodeSample(dir.path, spec, "clip.yuv", "clip.dat", {"-c:v", "ffv1", "-f", "matroska"}));
    EXPECT_EQ(kindOf({path("clip.dat"), {}, {}, -1}), InputKind::Container);
    EXPECT_EQ(kindOf({path("clip.dat"), 48, 32, -1}), InputKind::Container);
}

TEST_F(OpenSourceTest, SizesThatDisagreeWithTheInputAreRefused) {
    EXPECT_EQ(openError({path("clip.y4m"), 352, 288, -1}),
              "The size 352x288 given does not match " + path("clip.y4m") + ", which is 48x32");
    EXPECT_EQ(openError({path("clip.y4m"), 48, 31, -1}),
              "The size 48x31 given does not match " + path("clip.y4m") + ", which is 48x32");
    EXPECT_EQ(openError({path("clip.y4m"), {}, {}, 1}), path("clip.y4m") + " is Y4M and has no stream 1");
    EXPECT_TRUE(openInput({path("clip.y4m"), 48, 32, -1}));
    SKIP_WITHOUT_FFMPEG();
    ASSERT_TRUE(encodeSample(dir.path, spec, "clip.yuv", "clip.mkv", {"-c:v", "ffv1"}));
    EXPECT_EQ(openError({path("clip.mkv"), 32, 48, -1}),
              "The size 32x48 given does not match " + path("clip.mkv") + ", which is 48x32");
}

TEST(BitDepthNote, OnlyForSamplesDeeperThanEightBits) {
    SourceInfo info;
    EXPECT_FALSE(bitDepthNote(info));
    info.bitDepth = 10;
    EXPECT_EQ(bitDepthNote(info), "Note: the samples have 10 bits; they are measured on their 8 most significant bits");
}
