// The C API: statuses and messages per handle, "no value" as NaN with its
// presence bit, and a file analysis a callback can stop.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>

#include "frameprobe/frameprobe.h"
#include "sample/sample_video.h"
#include "test_support.h"

namespace {

TEST(CApi, BadSettingsAndPlanesGiveAStatusAndTheHandlesMessage) {
    frameprobe_settings settings;
    frameprobe_settings_init(&settings);
    frameprobe_analysis* a = nullptr;
    EXPECT_EQ(frameprobe_create(&settings, &a), FRAMEPROBE_INVALID_ARGUMENT);
    ASSERT_NE(a, nullptr);
    EXPECT_NE(std::string(frameprobe_message(a)).find("width and height"), std::string::npos);
    frameprobe_destroy(a);

    settings.width = 32;
    settings.height = 32;
    ASSERT_EQ(frameprobe_create(&settings, &a), FRAMEPROBE_OK);
    std::vector<uint16_t> deep(32 * 32);
    EXPECT_EQ(frameprobe_push16(a, deep.data(), 64), FRAMEPROBE_INVALID_ARGUMENT);  // an 8-bit analysis
    EXPECT_NE(std::string(frameprobe_message(a)).find("16-bit"), std::string::npos);
    std::vector<uint8_t> plane(32 * 32, 100);
    EXPECT_EQ(frameprobe_push8(a, plane.data(), 32), FRAMEPROBE_OK);
    EXPECT_STREQ(frameprobe_message(a), "");
    EXPECT_EQ(frameprobe_finish(a), FRAMEPROBE_OK);
    frameprobe_frame frame;
    ASSERT_EQ(frameprobe_next_frame(a, &frame), 1);
    EXPECT_EQ(frame.frame, 0);
    ASSERT_EQ(frame.value_count, static_cast<std::size_t>(frameprobe_indicator_count()));
    double value = 0;
    // No previous frame for temporal activity; an index past the last has no value either.
    EXPECT_EQ(frameprobe_frame_value(&frame, frameprobe_indicator_index("temporal_activity"), &value), 0);
    EXPECT_TRUE(std::isnan(value));
    EXPECT_EQ(frameprobe_frame_value(&frame, frameprobe_indicator_count(), &value), 0);
    EXPECT_EQ(frameprobe_frame_value(&frame, 0, &value), 1);
    EXPECT_EQ(frameprobe_next_frame(a, &frame), 0);
    EXPECT_EQ(frameprobe_push8(a, plane.data(), 32), FRAMEPROBE_INVALID_ARGUMENT);  // after finish
    frameprobe_destroy(a);
    settings.indicators = "blur,nonsense";
    EXPECT_EQ(frameprobe_create(&settings, &a), FRAMEPROBE_INVALID_ARGUMENT);
    EXPECT_NE(std::string(frameprobe_message(a)).find("nonsense"), std::string::npos) << frameprobe_message(a);
    frameprobe_destroy(a);
    EXPECT_EQ(frameprobe_indicator_index("nonsense"), -1);
    EXPECT_STREQ(frameprobe_indicator_key(frameprobe_indicator_index("blur")), "blur");
    EXPECT_EQ(frameprobe_version_number(), FRAMEPROBE_VERSION_NUMBER);

    // Settings a file has nothing to do with are the caller's mistake, not an input error.
    frameprobe_settings_init(&settings);
    settings.start = -1;
    EXPECT_EQ(frameprobe_analyze_file("/nonexistent.y4m", &settings, nullptr, nullptr, &a),
              FRAMEPROBE_INVALID_ARGUMENT);
    EXPECT_NE(std::string(frameprobe_message(a)).find("start frame"), std::string::npos) << frameprobe_message(a);
    frameprobe_destroy(a);
    frameprobe_settings_init(&settings);
    settings.flicker_threshold = NAN;
    EXPECT_EQ(frameprobe_analyze_file("/nonexistent.y4m", &settings, nullptr, nullptr, &a),
              FRAMEPROBE_INVALID_ARGUMENT);
    frameprobe_destroy(a);
    // 0 is the default rate; a negative one was taken for it.
    frameprobe_settings_init(&settings);
    settings.fps = -30;
    EXPECT_EQ(frameprobe_analyze_file("/nonexistent.y4m", &settings, nullptr, nullptr, &a),
              FRAMEPROBE_INVALID_ARGUMENT);
    frameprobe_destroy(a);
    settings.width = settings.height = 16;
    EXPECT_EQ(frameprobe_create(&settings, &a), FRAMEPROBE_INVALID_ARGUMENT);
    EXPECT_NE(std::string(frameprobe_message(a)).find("frame rate"), std::string::npos);
    frameprobe_destroy(a);
    // NaN is no rate either, for a file or for pushed frames.
    settings.fps = NAN;
    EXPECT_EQ(frameprobe_create(&settings, &a), FRAMEPROBE_INVALID_ARGUMENT);
    frameprobe_destroy(a);
    EXPECT_EQ(frameprobe_analyze_file("/nonexistent.y4m", &settings, nullptr, nullptr, &a),
              FRAMEPROBE_INVALID_ARGUMENT);
    EXPECT_NE(std::string(frameprobe_message(a)).find("frame rate"), std::string::npos);
    frameprobe_destroy(a);
    // Up to 1024 threads may be asked for: the missing file is then what fails.
    frameprobe_settings_init(&settings);
    settings.threads = 1024;
    EXPECT_EQ(frameprobe_analyze_file("/nonexistent.y4m", &settings, nullptr, nullptr, &a), FRAMEPROBE_INPUT_ERROR);
    frameprobe_destroy(a);
    settings.threads = 1025;
    EXPECT_EQ(frameprobe_analyze_file("/nonexistent.y4m", &settings, nullptr, nullptr, &a),
              FRAMEPROBE_INVALID_ARGUMENT);
    EXPECT_NE(std::string(frameprobe_message(a)).find("must be 0 to 1024"), std::string::npos) << frameprobe_message(a);
    frameprobe_destroy(a);
}

TEST(CApi, ThreePlanesAtTheirDepthAndSettingsOfAnOlderSize) {
    frameprobe_settings settings;
    frameprobe_settings_init(&settings);
    settings.width = 33;  // chroma planes of 17x9 samples
    settings.height = 17;
    settings.bit_depth = 10;
    // A caller built when the settings ended before `reserved` gives a smaller struct: the rest stays default.
    settings.size = static_cast<uint32_t>(offsetof(frameprobe_settings, reserved));
    frameprobe_analysis* a = nullptr;
    ASSERT_EQ(frameprobe_create(&settings, &a), FRAMEPROBE_OK) << frameprobe_message(a);
    std::vector<uint16_t> y(33 * 17, 400), u(17 * 9, 512), v(17 * 9, 512);
    EXPECT_EQ(frameprobe_push_yuv(a, y.data(), 66, u.data(), 34, v.data(), 34), FRAMEPROBE_OK) << frameprobe_message(a);
    EXPECT_EQ(frameprobe_push_yuv(a, y.data(), 66, u.data(), 32, v.data(), 34), FRAMEPROBE_INVALID_ARGUMENT);
    EXPECT_NE(std::string(frameprobe_message(a)).find("U plane"), std::string::npos) << frameprobe_message(a);
    EXPECT_EQ(frameprobe_push_yuv(a, y.data(), 66, u.data(), 34, nullptr, 34), FRAMEPROBE_INVALID_ARGUMENT);
    EXPECT_EQ(frameprobe_push16(a, y.data(), 66), FRAMEPROBE_OK);  // luma alone, for indicators that read luma
    ASSERT_EQ(frameprobe_finish(a), FRAMEPROBE_OK);
    frameprobe_frame frame;
    int frames = 0;
    while (frameprobe_next_frame(a, &frame)) ++frames;
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(frameprobe_input_property(a, "pixel_format"), nullptr);  // pushed frames
    frameprobe_destroy(a);
}

TEST(CApi, FileAnalysisGivesEventsAndStopsWhenTheCallbackSaysSo) {
    TempDir dir;
    const auto clip = (dir.path / "clip.y4m").string();
    ASSERT_TRUE(writeSampleVideo(SampleSpec{64, 48, 12, {{"black", 2, 4}}}, clip));
    frameprobe_settings settings;
    frameprobe_settings_init(&settings);
    settings.threads = 2;

    frameprobe_analysis* a = nullptr;
    int seen = 0;
    auto count = [](void* user, const frameprobe_frame*) {
        ++*static_cast<int*>(user);
        return 0;
    };
    ASSERT_EQ(frameprobe_analyze_file(clip.c_str(), &settings, count, &seen, &a), FRAMEPROBE_OK);
    EXPECT_EQ(seen, 12);
    int blacks = 0;
    for (std::size_t i = 0; i < frameprobe_event_count(a); ++i) {
        frameprobe_event event;
        ASSERT_EQ(frameprobe_get_event(a, i, &event), FRAMEPROBE_OK);
        if (std::string(event.type) != "black") continue;
        ++blacks;
        EXPECT_EQ(event.start_frame, 2);
        EXPECT_EQ(event.end_frame, 4);
    }
    EXPECT_EQ(blacks, 1);
    frameprobe_event none;
    EXPECT_EQ(frameprobe_get_event(a, frameprobe_event_count(a), &none), FRAMEPROBE_INVALID_ARGUMENT);
    frameprobe_statistics stats;
    ASSERT_EQ(frameprobe_get_statistics(a, 0, &stats), FRAMEPROBE_OK);
    EXPECT_EQ(stats.count, 12);
    EXPECT_STREQ(frameprobe_input_property(a, "pixel_format"), "yuv420p");
    EXPECT_STREQ(frameprobe_input_property(a, "chroma_subsampling"), "4:2:0");
    EXPECT_EQ(frameprobe_input_property(a, "color_matrix"), nullptr);
    EXPECT_EQ(frameprobe_input_property(a, "nonsense"), nullptr);
    frameprobe_destroy(a);

    auto stopAtFive = [](void* user, const frameprobe_frame* f) {
        ++*static_cast<int*>(user);
        return f->frame == 4 ? 1 : 0;
    };
    seen = 0;
    EXPECT_EQ(frameprobe_analyze_file(clip.c_str(), &settings, stopAtFive, &seen, &a), FRAMEPROBE_INTERRUPTED);
    EXPECT_EQ(seen, 5);
    frameprobe_destroy(a);

    EXPECT_EQ(frameprobe_analyze_file((dir.path / "missing.y4m").c_str(), &settings, nullptr, nullptr, &a),
              FRAMEPROBE_INPUT_ERROR);
    EXPECT_NE(std::string(frameprobe_message(a)).find("missing.y4m"), std::string::npos) << frameprobe_message(a);
    frameprobe_destroy(a);
}

}  // namespace
