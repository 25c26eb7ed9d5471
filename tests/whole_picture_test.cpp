// Whole pictures: every input kind hands out its planes at their own depth and
// subsampling, and the 8-bit luma beside them is the one the indicators read.
#include <gtest/gtest.h>

#include <cstring>

#include <nlohmann/json.hpp>

#include "ffmpeg_fixtures.h"
#include "io/ffmpeg_module.h"
#include "io/picture.h"
#include "io/raw_source.h"
#include "io/y4m_source.h"

namespace {

constexpr uint32_t kW = 64, kH = 48;
constexpr int kFrames = 2;

struct Layout {
    int depth;
    const char* tag;          // the Y4M C tag
    const char* pixelFormat;  // FFmpeg's name
    const char* subsampling;
};

const Layout kLayouts[] = {{8, "420jpeg", "yuv420p", "4:2:0"},
                           {10, "422p10", "yuv422p10le", "4:2:2"},
                           {12, "444p12", "yuv444p12le", "4:4:4"},
                           {16, "420p16", "yuv420p16le", "4:2:0"}};

// A sample that differs by plane, place and frame, using every bit of the depth.
unsigned sampleAt(const Layout& l, int plane, uint32_t x, uint32_t y, int frame) {
    return (x * 2617u + y * 7919u + static_cast<unsigned>(plane) * 40503u + static_cast<unsigned>(frame) * 977u) &
           ((1u << l.depth) - 1);
}

// Each plane's (width, height) for a layout.
std::vector<std::pair<uint32_t, uint32_t>> planeSizes(const Layout& l) {
    const PictureFormat f = *planarFormat(l.pixelFormat);
    std::vector<std::pair<uint32_t, uint32_t>> sizes{{kW, kH}};
    for (int p = 1; p < f.planes; ++p) sizes.emplace_back(kW >> f.log2ChromaWidth, kH >> f.log2ChromaHeight);
    return sizes;
}

std::string frameBytes(const Layout& l, int frame) {
    std::string bytes;
    const auto sizes = planeSizes(l);
    for (std::size_t p = 0; p < sizes.size(); ++p)
        for (uint32_t y = 0; y < sizes[p].second; ++y)
            for (uint32_t x = 0; x < sizes[p].first; ++x) {
                const unsigned v = sampleAt(l, static_cast<int>(p), x, y, frame);
                bytes.push_back(static_cast<char>(v & 0xFF));
                if (l.depth > 8) bytes.push_back(static_cast<char>(v >> 8));
            }
    return bytes;
}

// Reads every frame with its planes and checks them against the samples written.
void expectPlanes(FrameSource& source, const Layout& l) {
    std::vector<uint8_t> luma(std::size_t{kW} * kH);
    Frame frame;
    frame.luma = makeImage(kW, kH, luma.data());
    frame.wantPlanes = true;
    const auto sizes = planeSizes(l);
    for (int f = 0; f < kFrames; ++f) {
        ASSERT_EQ(source.readFrame(f, frame).status, ReadResult::Frame) << l.pixelFormat << " frame " << f;
        const Picture& picture = frame.picture;
        ASSERT_EQ(picture.planeCount, static_cast<int>(sizes.size()));
        EXPECT_EQ(picture.bitDepth, l.depth);
        for (std::size_t p = 0; p < sizes.size(); ++p) {
            const SamplePlane& plane = picture.planes[p];
            ASSERT_EQ(plane.width, sizes[p].first);
            ASSERT_EQ(plane.height, sizes[p].second);
            for (uint32_t y = 0; y < plane.height; ++y)
                for (uint32_t x = 0; x < plane.width; ++x) {
                    const uint8_t* row = plane.data + static_cast<std::ptrdiff_t>(y) * plane.stride;
                    unsigned v = row[x];
                    if (l.depth > 8) {
                        uint16_t word;
                        std::memcpy(&word, row + 2 * x, 2);
                        v = word;
                    }
                    ASSERT_EQ(v, sampleAt(l, static_cast<int>(p), x, y, f))
                        << l.pixelFormat << " plane " << p << " at " << x << "," << y;
                }
        }
        for (uint32_t i = 0; i < kW * kH; ++i)
            ASSERT_EQ(luma[i], sampleAt(l, 0, i % kW, i / kW, f) >> (l.depth - 8)) << l.pixelFormat << " luma " << i;
    }
    EXPECT_EQ(source.readFrame(kFrames, frame).status, ReadResult::End);
}

void expectDescribed(const SourceInfo& info, const Layout& l) {
    EXPECT_EQ(info.picture.pixelFormat, l.pixelFormat);
    EXPECT_EQ(info.picture.bitDepth, l.depth);
    EXPECT_EQ(chromaSubsampling(info.picture), l.subsampling);
    EXPECT_EQ(info.picture.convertedTo, "");
}

std::string y4mFile(const Layout& l, const std::string& extraTags = "") {
    std::string file = "YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C" + std::string(l.tag) + extraTags + "\n";
    for (int f = 0; f < kFrames; ++f) file += "FRAME\n" + frameBytes(l, f);
    return file;
}

std::unique_ptr<Y4mSource> openY4m(const std::filesystem::path& path) {
    std::string error;
    auto stream = ByteStream::open(path.string(), error);
    if (stream == nullptr) ADD_FAILURE() << error;
    auto opened = Y4mSource::open(std::move(stream), path.string());
    if (auto* error = std::get_if<std::string>(&opened)) ADD_FAILURE() << *error;
    auto* source = std::get_if<std::unique_ptr<Y4mSource>>(&opened);
    return source ? std::move(*source) : nullptr;
}

class WholePictureTest : public testing::Test {
protected:
    TempDir dir;
};

TEST_F(WholePictureTest, Y4mAndRawHandOutEveryPlaneAtItsDepth) {
    for (const Layout& l : kLayouts) {
        const auto y4m = dir.path / (std::string(l.pixelFormat) + ".y4m");
        writeFile(y4m, y4mFile(l));
        const auto source = openY4m(y4m);
        ASSERT_NE(source, nullptr);
        expectDescribed(source->info(), l);
        expectPlanes(*source, l);

        std::string raw;
        for (int f = 0; f < kFrames; ++f) raw += frameBytes(l, f);
        const auto path = dir.path / (std::string(l.pixelFormat) + ".yuv");
        writeFile(path, raw);
        FILE* file = fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        ByteStream stream(file, true);
        const PictureFormat format = *planarFormat(l.pixelFormat);
        RawSource rawSource(stream, kW, kH, static_cast<int64_t>(planarFrameBytes(format, kW, kH)), kFrames, true,
                            format);
        expectDescribed(rawSource.info(), l);
        expectPlanes(rawSource, l);
    }
}

TEST_F(WholePictureTest, Y4mTagsFfmpegWrites) {
    Y4mFormat format;
    ASSERT_EQ(parseY4mHeader("YUV4MPEG2 W8 H8 Cmono", format), "");
    EXPECT_EQ(format.picture.pixelFormat, "gray");
    EXPECT_EQ(chromaSubsampling(format.picture), "4:0:0");
    EXPECT_EQ(format.frameBytes, 64u);
    ASSERT_EQ(parseY4mHeader("YUV4MPEG2 W8 H8 Cmono12", format), "");
    EXPECT_EQ(format.picture.pixelFormat, "gray12le");
    // Without a C tag the extension names the layout; with one, the C tag holds.
    ASSERT_EQ(parseY4mHeader("YUV4MPEG2 W8 H8 XYSCSS=422P10 XCOLORRANGE=FULL", format), "");
    EXPECT_EQ(format.picture.pixelFormat, "yuv422p10le");
    EXPECT_EQ(format.picture.colorRange, "pc");
    EXPECT_EQ(format.frameBytes, 2u * (64 + 2 * 32));
    ASSERT_EQ(parseY4mHeader("YUV4MPEG2 W8 H8 C444 XYSCSS=420JPEG XCOLORRANGE=LIMITED", format), "");
    EXPECT_EQ(format.picture.pixelFormat, "yuv444p");
    EXPECT_EQ(format.picture.colorRange, "tv");
    ASSERT_EQ(parseY4mHeader("YUV4MPEG2 W8 H8 C444alpha", format), "");
    EXPECT_EQ(format.picture.pixelFormat, "yuva444p");
    EXPECT_EQ(format.frameBytes, 4u * 64);
    EXPECT_NE(parseY4mHeader("YUV4MPEG2 W8 H8 XYSCSS=BOGUS", format), "");
    // A grey picture hands out its one plane, and an alpha plane is passed over.
    const Layout mono{8, "mono", "gray", "4:0:0"};
    writeFile(dir.path / "mono.y4m", y4mFile(mono));
    const auto source = openY4m(dir.path / "mono.y4m");
    ASSERT_NE(source, nullptr);
    expectPlanes(*source, mono);
}

TEST_F(WholePictureTest, Ffv1PlanesComeAsDecodedAndRgbConverted) {
    SKIP_WITHOUT_FFMPEG();
    auto module = ffmpegModule();
    ASSERT_TRUE(std::holds_alternative<const FfmpegModule*>(module)) << std::get<std::string>(module);
    const auto open = [&](const std::string& name) -> std::unique_ptr<FrameSource> {
        auto opened = std::get<const FfmpegModule*>(module)->open(
            ContainerRequest{(dir.path / name).string(), -1, {}, "quiet"});
        if (auto* error = std::get_if<std::string>(&opened)) ADD_FAILURE() << *error;
        auto* source = std::get_if<std::unique_ptr<FrameSource>>(&opened);
        return source ? std::move(*source) : nullptr;
    };
    // One run of ffmpeg makes every file: each run costs far more than its encoding.
    std::vector<std::string> args;
    for (const Layout& l : kLayouts) {
        const std::string name = l.pixelFormat;
        writeFile(dir.path / (name + ".y4m"), y4mFile(l));
        args.insert(args.end(), {"-i", name + ".y4m"});
    }
    int input = 0;
    for (const Layout& l : kLayouts)
        args.insert(args.end(), {"-map", std::to_string(input++), "-c:v", "ffv1", "-color_range", "tv", "-colorspace",
                                 "bt709", std::string(l.pixelFormat) + ".mkv"});
    args.insert(args.end(), {"-map", "2", "-frames:v", "1", "-c:v", "ffv1", "-pix_fmt", "gbrp", "rgb.mkv"});
    ASSERT_TRUE(runFfmpeg(dir.path, args));
    for (const Layout& l : kLayouts) {
        const auto source = open(std::string(l.pixelFormat) + ".mkv");
        ASSERT_NE(source, nullptr);
        expectDescribed(source->info(), l);
        EXPECT_EQ(source->info().picture.colorRange, "tv");
        EXPECT_EQ(source->info().picture.colorMatrix, "bt709");
        EXPECT_EQ(source->info().picture.colorPrimaries, std::nullopt);
        expectPlanes(*source, l);
    }
    // RGB is read as planar 4:4:4 YUV of its depth, and its luma is the one the indicators have always read.
    const auto source = open("rgb.mkv");
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->info().picture.pixelFormat.find("yuv"), std::string::npos);
    EXPECT_EQ(source->info().picture.convertedTo, "yuv444p");
    std::vector<uint8_t> luma(std::size_t{kW} * kH), plain(luma.size());
    Frame frame;
    frame.luma = makeImage(kW, kH, luma.data());
    frame.wantPlanes = true;
    ASSERT_EQ(source->readFrame(0, frame).status, ReadResult::Frame);
    ASSERT_EQ(frame.picture.planeCount, 3);
    EXPECT_EQ(frame.picture.bitDepth, 8);
    for (uint32_t y = 0; y < kH; ++y)
        ASSERT_EQ(
            std::memcmp(frame.picture.planes[0].data + static_cast<std::ptrdiff_t>(y) * frame.picture.planes[0].stride,
                        luma.data() + y * kW, kW),
            0)
            << "row " << y;
    const auto again = open("rgb.mkv");
    Image image = makeImage(kW, kH, plain.data());
    ASSERT_EQ(again->read(0, image).status, ReadResult::Frame);
    EXPECT_EQ(plain, luma);
}

TEST_F(WholePictureTest, RawPixelFormatIsReadAndDescribed) {
    const Layout& l = kLayouts[1];
    std::string raw;
    for (int f = 0; f < kFrames; ++f) raw += frameBytes(l, f);
    writeFile(dir.path / "clip.yuv", raw);
    const ProcessResult run = runProcess(FRAMEPROBE_BINARY, {"-s", "64x48", "--pix-fmt", "yuv422p10le", "--format",
                                                             "json", "--no-log", "clip.yuv"}, dir.path);
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json input = nlohmann::json::parse(run.out)["input"];
    EXPECT_EQ(input["pixel_format"], "yuv422p10le");
    EXPECT_EQ(input["bit_depth"], 10);
    EXPECT_EQ(input["chroma_subsampling"], "4:2:2");
    EXPECT_TRUE(input["planes_converted_to"].is_null());
    EXPECT_TRUE(input["color_range"].is_null());
    EXPECT_TRUE(input["color_primaries"].is_null());
    EXPECT_EQ(nlohmann::json::parse(run.out)["frames"].size(), std::size_t{kFrames});
    const ProcessResult unknown =
        runProcess(FRAMEPROBE_BINARY, {"-s", "64x48", "--pix-fmt", "rgb24", "clip.yuv"}, dir.path);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown raw pixel format \"rgb24\""), std::string::npos) << unknown.err;
}

}  // namespace

// The planar layouts read without FFmpeg: every depth FFmpeg names, JPEG's full range,
// chroma sizes rounded up on odd pictures, and deep samples brought to 8 bits without wrapping.
TEST(PictureFormats, NamesDepthsSizesAndEightBitLuma) {
    for (const char* depth : {"9", "10", "12", "14", "16"})
        EXPECT_EQ(planarFormat(std::string("yuv420p") + depth + "le")->bitDepth, std::stoi(depth));
    EXPECT_FALSE(planarFormat("yuv420p11le"));
    EXPECT_FALSE(planarFormat("yuv420p10be"));
    EXPECT_EQ(planarFormat("yuvj422p")->colorRange, "pc");
    EXPECT_FALSE(planarFormat("yuv422p")->colorRange);
    const std::pair<const char*, const char*> names[] = {{"yuv420p", "4:2:0"}, {"yuv422p", "4:2:2"},
                                                         {"yuv444p", "4:4:4"}, {"yuv411p", "4:1:1"},
                                                         {"yuv440p", "4:4:0"}, {"yuv410p", "4:1:0"},
                                                         {"gray", "4:0:0"}};
    for (const auto& [name, subsampling] : names) EXPECT_EQ(chromaSubsampling(*planarFormat(name)), subsampling);
    EXPECT_EQ(planarFrameBytes(*planarFormat("yuv420p"), 5, 3), 15u + 2 * 3 * 2);
    EXPECT_EQ(planarFrameBytes(*planarFormat("yuv410p10le"), 5, 5), 2 * (25u + 2 * 2 * 2));
    EXPECT_EQ(planarFrameBytes(*planarFormat("gray10le"), 5, 3), 30u);

    const uint16_t deep[] = {4096, 1023, 4, 65535};
    uint8_t eight[4] = {};
    deepToEightBits(deep, eight, 4, 10);
    EXPECT_EQ(std::vector<uint8_t>(eight, eight + 4), (std::vector<uint8_t>{255, 255, 1, 255}));

    // Buffers grow with the picture: every sample of the larger one is written (the sanitizers watch).
    PlaneBuffers buffers;
    Picture picture;
    const PictureFormat format = *planarFormat("yuv444p10le");
    for (uint32_t side : {4u, 64u}) {
        buffers.prepare(format, side, side, picture, nullptr);
        for (int i = 0; i < 3; ++i) {
            const SamplePlane& plane = picture.planes[static_cast<std::size_t>(i)];
            std::memset(buffers.plane(i), 0x5a, static_cast<std::size_t>(plane.stride) * plane.height);
        }
    }
}

