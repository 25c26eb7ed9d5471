// The library's C++ API: pushed frames give the program's values for any
// thread count and any row layout, files and pushed frames agree, and bad
// settings or planes are refused with a message.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

#include "frameprobe/frameprobe.hpp"
#include "sample/sample_video.h"
#include "test_support.h"

namespace {

using frameprobe::FrameResult;

SampleSpec defectClip() {
    SampleSpec spec{96, 64, 24, {}};
    spec.defects = {{"black", 3, 6}, {"freeze", 10, 15}, {"noise", 16, 20}};
    return spec;
}

// Every frame of the clip pushed with rows `stride` bytes apart.
std::vector<FrameResult> pushAll(const SampleSpec& spec, unsigned threads, std::size_t stride,
                                 std::vector<frameprobe::Event>* events = nullptr) {
    frameprobe::Settings settings;
    settings.width = static_cast<uint32_t>(spec.width);
    settings.height = static_cast<uint32_t>(spec.height);
    settings.threads = threads;
    frameprobe::Analysis analysis(settings);
    std::vector<FrameResult> results;
    std::vector<uint8_t> padded(stride * static_cast<std::size_t>(spec.height), 0xEE);
    for (int32_t i = 0; i < spec.frames; ++i) {
        const std::vector<uint8_t> luma = sampleLuma(spec, i);
        for (int32_t y = 0; y < spec.height; ++y)
            std::memcpy(padded.data() + static_cast<std::size_t>(y) * stride, luma.data() + y * spec.width,
                        static_cast<std::size_t>(spec.width));
        analysis.push(padded.data(), static_cast<std::ptrdiff_t>(stride));
        while (auto r = analysis.next()) results.push_back(*r);
    }
    analysis.finish();
    while (auto r = analysis.next()) results.push_back(*r);
    if (events) *events = analysis.events();
    return results;
}

void expectSameValues(const std::vector<FrameResult>& a, const std::vector<FrameResult>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t f = 0; f < a.size(); ++f) {
        EXPECT_EQ(a[f].frame, b[f].frame);
        for (std::size_t i = 0; i < a[f].values.size(); ++i) {
            ASSERT_EQ(a[f].values[i].has_value(), b[f].values[i].has_value()) << "frame " << f << " indicator " << i;
            if (a[f].values[i]) {
                EXPECT_EQ(std::memcmp(&*a[f].values[i], &*b[f].values[i], sizeof(double)), 0);
            }
        }
    }
}

TEST(Library, PushedFramesEqualTheFileRunForAnyThreadsAndStride) {
    const SampleSpec spec = defectClip();
    TempDir dir;
    const auto clip = dir.path / "clip.y4m";
    ASSERT_TRUE(writeSampleVideo(spec, clip.string()));

    frameprobe::FileSettings file;
    file.input = clip.string();
    file.threads = 1;
    std::vector<FrameResult> fromFile;
    const frameprobe::FileResult result = frameprobe::analyzeFile(file, [&](const FrameResult& r) {
        fromFile.push_back(r);
    });
    ASSERT_EQ(fromFile.size(), 24u);
    EXPECT_EQ(result.summary.frames, 24);
    EXPECT_EQ(result.run.format, "y4m");
    EXPECT_DOUBLE_EQ(fromFile[5].time, 0.2);
    EXPECT_FALSE(fromFile[0].values[6].has_value());  // temporal activity has no previous frame

    std::vector<frameprobe::Event> events;
    expectSameValues(fromFile, pushAll(spec, 1, 96, &events));
    expectSameValues(fromFile, pushAll(spec, 3, 96 + 13));
    ASSERT_EQ(events.size(), result.events.size());
    for (std::size_t e = 0; e < events.size(); ++e) {
        EXPECT_EQ(events[e].type, result.events[e].type);
        EXPECT_EQ(events[e].startFrame, result.events[e].startFrame);
        EXPECT_EQ(events[e].endFrame, result.events[e].endFrame);
    }
}

TEST(Library, SixteenBitPlanesAreMeasuredOnTheirTopEightBits) {
    const SampleSpec spec{64, 48, 1, {}};
    const std::vector<uint8_t> luma = sampleLuma(spec, 0);
    std::vector<uint16_t> deep(luma.size());
    for (std::size_t i = 0; i < luma.size(); ++i) deep[i] = static_cast<uint16_t>(luma[i] << 2 | 3);

    frameprobe::Settings settings;
    settings.width = 64;
    settings.height = 48;
    settings.bitDepth = 10;
    frameprobe::Analysis analysis(settings);
    EXPECT_THROW(analysis.push(luma.data(), 64), frameprobe::Error);  // 8-bit samples to a 10-bit analysis
    analysis.push(deep.data(), 128);
    // The same luma with its chroma planes (one bottom-up), as a caller holding a whole picture pushes it.
    const std::vector<uint16_t> chroma(32 * 24, 512);
    analysis.push(deep.data(), 128, chroma.data() + 23 * 32, -64, chroma.data(), 64);
    analysis.finish();
    const FrameResult alone = frameprobe::measure(luma.data(), 64, 48, 64);
    expectSameValues({*analysis.next()}, {alone});
    const std::optional<FrameResult> second = analysis.next();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->value(1), alone.value(1));
    EXPECT_EQ(second->value(5), alone.value(5));
    EXPECT_EQ(analysis.run().bitDepth, 10);
    EXPECT_EQ(analysis.run().pixelFormat, "yuv420p10le");
}

TEST(Library, RefusesBadSettingsPlanesAndInputsWithAMessage) {
    frameprobe::Settings settings;
    EXPECT_THROW(frameprobe::Analysis{settings}, frameprobe::Error);  // no size
    settings.width = 16;
    settings.height = 16;
    settings.bitDepth = 17;
    EXPECT_THROW(frameprobe::Analysis{settings}, frameprobe::Error);
    settings.bitDepth = 8;
    frameprobe::Analysis analysis(settings);
    std::vector<uint8_t> plane(16 * 16);
    try {
        analysis.push(plane.data(), 8);
        FAIL() << "overlapping rows were taken";
    } catch (const frameprobe::Error& e) {
        EXPECT_NE(std::string(e.what()).find("overlap"), std::string::npos) << e.what();
    }
    analysis.finish();
    EXPECT_THROW(analysis.push(plane.data(), 16), frameprobe::Error);

    frameprobe::FileSettings file;
    file.input = "/nonexistent/clip.y4m";
    EXPECT_THROW(frameprobe::analyzeFile(file), frameprobe::Error);
    EXPECT_THROW(frameprobe::indicatorKeys("blur,sharpness"), frameprobe::Error);
    // "all": the fifteen long-standing indicators of the 8-bit luma; newer ones are asked for by name.
    const std::vector<std::string> luma = frameprobe::indicatorKeys("all");
    EXPECT_EQ(luma.size(), 15u);
    std::string every = "all";
    for (int i = 0; i < frameprobe::indicatorCount(); ++i)
        if (std::find(luma.begin(), luma.end(), frameprobe::indicatorKey(i)) == luma.end())
            every += std::string(",") + frameprobe::indicatorKey(i);
    EXPECT_EQ(frameprobe::indicatorKeys(every).size(), static_cast<std::size_t>(frameprobe::indicatorCount()));
    EXPECT_EQ(frameprobe::indicatorKeys("flashes_per_second").size(), 2u);
    EXPECT_EQ(frameprobe::indicatorKeys("freezing").front(), "temporal_activity");  // what freezing needs
    EXPECT_STREQ(frameprobe::indicatorKey(0), "blockiness");
    EXPECT_EQ(frameprobe::indicatorKey(frameprobe::indicatorCount()), nullptr);
    EXPECT_EQ(frameprobe::indicatorIndex("blur"), 5);
    EXPECT_EQ(frameprobe::indicatorIndex("sharpness"), std::nullopt);
    EXPECT_STREQ(frameprobe::version(), FRAMEPROBE_VERSION_STRING);
}

TEST(Library, RefusesFileSettingsThatWouldGiveWrongEventsOrTimes) {
    // Each was measured before: a rate of 0 made every time infinite, a negative rate lost
    // every event, a NaN minimum dropped them, a negative threshold made flicker of all.
    TempDir dir;
    const auto clip = (dir.path / "clip.y4m").string();
    ASSERT_TRUE(writeSampleVideo(SampleSpec{32, 32, 4, {}}, clip));
    const auto refusal = [&](const std::function<void(frameprobe::FileSettings&)>& change) {
        frameprobe::FileSettings s;
        s.input = clip;
        change(s);
        try {
            frameprobe::analyzeFile(s);
        } catch (const frameprobe::Error& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_NE(refusal([](auto& s) { s.fps = 0.0; }).find("frame rate"), std::string::npos);
    EXPECT_NE(refusal([](auto& s) { s.fps = -25.0; }).find("frame rate"), std::string::npos);
    EXPECT_NE(refusal([](auto& s) { s.start = -1; }).find("start frame"), std::string::npos);
    EXPECT_NE(refusal([](auto& s) { s.frames = -1; }).find("number of frames"), std::string::npos);
    EXPECT_NE(refusal([](auto& s) { s.start = 1; s.origin = 2; }).find("origin"), std::string::npos);
    EXPECT_NE(refusal([](auto& s) { s.events.minDuration["black"] = std::nan(""); }).find("minimum duration"),
              std::string::npos);
    EXPECT_NE(refusal([](auto& s) { s.events.minDuration["blak"] = 1; }).find("no event type"), std::string::npos);
    EXPECT_NE(refusal([](auto& s) { s.events.flickerThreshold = -0.1; }).find("flicker threshold"), std::string::npos);
    EXPECT_NE(refusal([](auto& s) { s.threads = 100000; }).find("thread count"), std::string::npos);
    EXPECT_EQ(refusal([](auto& s) { s.events.minDuration["black"] = 0.5; }), "");

    frameprobe::Settings pushed;
    pushed.width = pushed.height = 16;
    pushed.events.flickerThreshold = std::nan("");
    EXPECT_THROW(frameprobe::Analysis{pushed}, frameprobe::Error);
}

}  // namespace
