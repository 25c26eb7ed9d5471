// A channel's view of its input: reads at the input's frame rate when asked
// (files rehearsing a live stream), and, when the analysis cannot keep up with
// a live input, hands on every Nth frame only, so the channel never falls
// behind and never buffers more than the decoder does.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "io/frame_source.h"

// Where a measured frame came from.
struct FrameOrigin {
    int64_t streamFrame = 0;  // frames of the channel's input before it, over every connection
    StreamStatus status;      // what the input saw since the previous measured frame
};

class LiveSource final : public FrameSource {
public:
    // `firstStreamFrame`: stream frames the channel saw on earlier connections.
    // `paced`: read at `fps`; `adaptive`: measure every Nth frame when the analysis is slower than `fps`.
    LiveSource(FrameSource& input, double fps, bool paced, bool adaptive, int64_t firstStreamFrame,
               std::atomic<int64_t>& lastPictureNanoseconds);

    const SourceInfo& info() const override { return input_.info(); }
    ReadResult readFrame(int64_t index, Frame& frame) override;

    // The origin of measured frame `index`; valid for the frames the engine holds.
    const FrameOrigin& origin(int64_t index) const { return ring_[static_cast<std::size_t>(index) % ring_.size()]; }
    int64_t streamFrames() const { return streamFrame_; }
    int64_t skipped() const { return skipped_; }
    int measureEvery() const { return every_; }
    // Measured frames per second the analysis manages (0 until known).
    double analysisFps() const { return cost_ > 0 ? 1.0 / cost_ : 0; }

private:
    using Clock = std::chrono::steady_clock;
    void adapt(Clock::time_point now);

    FrameSource& input_;
    double fps_;
    bool paced_, adaptive_;
    int64_t streamFrame_;
    int64_t inputIndex_ = 0;
    std::atomic<int64_t>& lastPicture_;
    // The engine holds at most three batches of at most 64 frames.
    std::array<FrameOrigin, 256> ring_{};
    StreamStatus pending_;
    int every_ = 1;
    int64_t skipped_ = 0;
    double cost_ = 0;  // seconds of analysis per measured frame, smoothed
    Clock::time_point started_, lastReturn_, lastAdapted_;
    bool returned_ = false;
};

int64_t steadyNanosecondsNow();
