// The raw source against a reader that alternates between two zero-filled
// buffers, the behaviour the source promises whatever buffers it is given.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "io/raw_source.h"
#include "test_support.h"

namespace {

constexpr uint32_t kW = 16, kH = 8;
constexpr int64_t kFrameSize = kW * kH * 3 / 2;
constexpr std::size_t kLuma = kW * kH;

std::string makeClip(std::size_t bytes) {
    std::string clip(bytes, '\0');
    std::mt19937 random(7);
    for (char& c : clip) c = static_cast<char>(random());
    return clip;
}

// Two buffers, frame i read into buffer (i - first) % 2: a short read leaves the rest as it was.
std::vector<std::string> twoBufferFrames(const std::string& clip, int64_t first, int64_t count) {
    std::string buffers[2] = {std::string(kLuma, '\0'), std::string(kLuma, '\0')};
    std::vector<std::string> frames;
    for (int64_t i = first; i < first + count; ++i) {
        std::string& b = buffers[(i - first) % 2];
        const int64_t offset = i * kFrameSize;
        if (offset < static_cast<int64_t>(clip.size())) {
            const std::size_t n = std::min<std::size_t>(kLuma, clip.size() - static_cast<std::size_t>(offset));
            b.replace(0, n, clip, static_cast<std::size_t>(offset), n);
        }
        frames.push_back(b);
    }
    return frames;
}

// Reads through the source, cycling through `buffers` planes that start with garbage.
std::vector<std::string> sourceFrames(FILE* file, int64_t first, int64_t count, int buffers) {
    ByteStream stream(file, false);
    RawSource source(stream, kW, kH, kFrameSize, count);
    std::vector<std::string> planes(static_cast<std::size_t>(buffers), std::string(kLuma, 'x'));
    std::vector<std::string> frames;
    for (int64_t i = first; i < first + count; ++i) {
        std::string& plane = planes[static_cast<std::size_t>(i % buffers)];
        Image image = makeImage(kW, kH, reinterpret_cast<uint8_t*>(plane.data()));
        const ReadResult r = source.read(i, image);
        EXPECT_EQ(r.status, ReadResult::Frame);
        frames.push_back(plane);
    }
    return frames;
}

struct Range {
    int64_t first, count;
};

class RawSourceTest : public ::testing::Test {
protected:
    TempDir dir;
    // Ten whole frames and part of the eleventh frame's luma plane.
    const std::string clip = makeClip(10 * kFrameSize + kLuma / 3);
    const Range ranges[5] = {{0, 4}, {0, 16}, {3, 12}, {9, 7}, {20, 5}};

    std::string path() {
        const auto p = dir.path / "clip.yuv";
        writeFile(p, clip);
        return p.string();
    }
};

TEST_F(RawSourceTest, FileReadsMatchTwoAlternatingBuffersForAnyBufferCount) {
    const std::string file = path();
    for (const Range& r : ranges)
        for (int buffers : {1, 2, 3, 7}) {
            SCOPED_TRACE("first " + std::to_string(r.first) + ", buffers " + std::to_string(buffers));
            FILE* f = fopen(file.c_str(), "rb");
            ASSERT_NE(f, nullptr);
            EXPECT_EQ(sourceFrames(f, r.first, r.count, buffers), twoBufferFrames(clip, r.first, r.count));
            fclose(f);
        }
}

TEST_F(RawSourceTest, PipeReadsSkipForwardAndMatchTheFile) {
    const std::string file = path();
    for (const Range& r : ranges) {
        SCOPED_TRACE("first " + std::to_string(r.first));
        FILE* pipe = popen(("cat '" + file + "'").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        EXPECT_EQ(sourceFrames(pipe, r.first, r.count, 3), twoBufferFrames(clip, r.first, r.count));
        pclose(pipe);
    }
}

TEST_F(RawSourceTest, ReadFailureReportsTheSystemError) {
    FILE* folder = fopen(dir.path.c_str(), "r");
    ASSERT_NE(folder, nullptr);
    ByteStream stream(folder, false);
    RawSource source(stream, kW, kH, kFrameSize, 1);
    std::string plane(kLuma, '\0');
    Image image = makeImage(kW, kH, reinterpret_cast<uint8_t*>(plane.data()));
    const ReadResult r = source.read(0, image);
    EXPECT_EQ(r.status, ReadResult::Error);
    EXPECT_EQ(r.bytesRead, 0u);
    EXPECT_NE(r.error, 0);
    fclose(folder);
}

}  // namespace
