// The engine with many frames in flight: rows in frame order, the same values
// for every thread count and window, read failures and stops after whole frames.
#include <gtest/gtest.h>

#include <cstring>

#include "indicators/registry.h"
#include "pipeline/engine.h"
#include "sample/sample_video.h"

namespace {

constexpr uint32_t kW = 352, kH = 288;

// Frames of very different cost: noisy ones beside flat and black ones, so
// that later frames of a batch often finish first.
class MemorySource final : public FrameSource {
public:
    explicit MemorySource(int64_t frames, int64_t failAt = -1) : frames_(frames), failAt_(failAt) {
        info_.width = kW;
        info_.height = kH;
        info_.format = "memory";
        spec_.width = kW;
        spec_.height = kH;
        spec_.frames = static_cast<int32_t>(frames);
        spec_.defects = {{"noise", 0, 2}, {"flat", 3, 5}, {"freeze", 6, 12}, {"flicker", 0, 20}, {"black", 13, 14}};
    }
    const SourceInfo& info() const override { return info_; }
    ReadResult readFrame(int64_t index, Frame& frame) override {
        Image& luma = frame.luma;
        planesAskedFor += frame.wantPlanes ? 1 : 0;
        ReadResult r;
        if (index == failAt_) {
            r.status = ReadResult::Error;
            r.error = EIO;
            return r;
        }
        if (index >= frames_) {
            r.status = ReadResult::End;
            return r;
        }
        const std::vector<uint8_t> plane = sampleLuma(spec_, static_cast<int32_t>(index));
        std::memcpy(luma.data, plane.data(), plane.size());
        r.bytesRead = plane.size();
        return r;
    }

    int64_t planesAskedFor = 0;

private:
    SourceInfo info_;
    SampleSpec spec_;
    int64_t frames_;
    int64_t failAt_;
};

struct Row {
    int64_t frame;
    Results values;
};

class CollectingSink final : public RowSink {
public:
    std::vector<Row> rows;
    std::atomic<bool>* stopAfterRow = nullptr;
    void begin(const RunInfo&) override {}
    void row(int64_t frame, const Results& values) override {
        rows.push_back({frame, values});
        if (stopAfterRow != nullptr && rows.size() == 5) stopAfterRow->store(true);
    }
    void end(const RunEnd&) override {}
};

std::vector<Row> measure(unsigned threads, unsigned window, int64_t first, int64_t frames) {
    MemorySource source(40);
    Engine engine(EngineSettings{kAllIndicators, 25, threads, window}, kW, kH);
    CollectingSink sink;
    const EngineOutcome outcome = engine.run(source, first, frames, sink);
    EXPECT_EQ(outcome.rows, static_cast<int64_t>(sink.rows.size()));
    EXPECT_FALSE(outcome.failedFrame);
    return sink.rows;
}

void expectSameRows(const std::vector<Row>& a, const std::vector<Row>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].frame, b[i].frame);
        EXPECT_EQ(a[i].values.written, b[i].values.written) << "frame " << a[i].frame;
        // Bit for bit, NaN included.
        EXPECT_EQ(std::memcmp(a[i].values.values.data(), b[i].values.values.data(), sizeof(double) * kIndicatorCount),
                  0)
            << "frame " << a[i].frame;
    }
}

TEST(Engine, SameRowsInFrameOrderForEveryThreadCountAndWindow) {
    const std::vector<Row> reference = measure(1, 1, 2, 30);
    ASSERT_EQ(reference.size(), 30u);
    for (std::size_t i = 0; i < reference.size(); ++i) EXPECT_EQ(reference[i].frame, static_cast<int64_t>(2 + i));
    // Temporal indicators have no value on the first frame of the run only.
    const int temporal = *findIndicator("temporal_activity");
    EXPECT_FALSE(reference[0].values.has(temporal));
    EXPECT_TRUE(reference[1].values.has(temporal));
    expectSameRows(measure(2, 0, 2, 30), reference);
    expectSameRows(measure(4, 7, 2, 30), reference);
    expectSameRows(measure(8, 3, 2, 30), reference);
}

TEST(Engine, PlanesAreAskedForOnlyWhenARunReadsThem) {
    std::vector<Row> rows[2];
    for (bool planes : {false, true}) {
        MemorySource source(6);
        EngineSettings settings{kAllIndicators, 25, 2, 0};
        settings.planes = planes;
        Engine engine(settings, kW, kH);
        CollectingSink sink;
        engine.run(source, 0, std::nullopt, sink);
        // The fifteen indicators read the 8-bit luma alone; six frames and the read that finds the end.
        EXPECT_EQ(source.planesAskedFor, planes ? 7 : 0);
        rows[planes] = sink.rows;
    }
    expectSameRows(rows[0], rows[1]);
}

TEST(Engine, EndOfSourceEndsTheRun) {
    const std::vector<Row> rows = measure(3, 4, 35, 100);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows.back().frame, 39);
}

TEST(Engine, ReadFailureComesAfterTheRowsBeforeIt) {
    for (unsigned threads : {1u, 3u}) {
        MemorySource source(40, 11);
        Engine engine(EngineSettings{kAllIndicators, 25, threads, 4}, kW, kH);
        CollectingSink sink;
        const EngineOutcome outcome = engine.run(source, 0, 30, sink);
        ASSERT_TRUE(outcome.failedFrame);
        EXPECT_EQ(*outcome.failedFrame, 11);
        EXPECT_EQ(outcome.failure.error, EIO);
        ASSERT_EQ(sink.rows.size(), 11u);
        EXPECT_EQ(sink.rows.back().frame, 10);
    }
}

TEST(Engine, StopEndsTheRunAfterAWholeRow) {
    MemorySource source(40);
    Engine engine(EngineSettings{kAllIndicators, 25, 2, 6}, kW, kH);
    CollectingSink sink;
    std::atomic<bool> stop{false};
    sink.stopAfterRow = &stop;
    const EngineOutcome outcome = engine.run(source, 0, 40, sink, &stop);
    EXPECT_TRUE(outcome.interrupted);
    EXPECT_EQ(sink.rows.size(), 5u);
}

}  // namespace
