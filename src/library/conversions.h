// From the engine's and the run record's own types to the public API's.
#pragma once

#include "analysis/events.h"
#include "analysis/run_record.h"
#include "frameprobe/frameprobe.hpp"
#include "rows/row_sink.h"
#include "tools/frame_rate.h"

namespace frameprobe::detail {

// Throws Error for an unknown event type, a duration or threshold that is not a
// number from 0: each would silently drop or invent events.
EventOptions eventOptions(const EventSettings& settings);
// The indicators of a list of keys, names or a mask, with those they need. Throws Error.
uint32_t indicatorMask(std::string_view list);
std::vector<std::string> keysOf(uint32_t mask);
// Throws Error beyond the kMaxThreads worker threads a run can have (0: the hardware's count).
void checkThreads(unsigned threads);
FrameResult frameResult(int64_t frame, const Results& values, double fps);
Summary summary(const RunRecord& record);
std::vector<frameprobe::Event> events(const RunRecord& record);
RunDescription description(const RunInfo& info);

// Hands each row to a callback as the public API's frame result.
class FrameCallbackSink final : public RowSink {
public:
    explicit FrameCallbackSink(std::function<void(const FrameResult&)> onFrame) : onFrame_(std::move(onFrame)) {}
    void begin(const RunInfo& info) override { fps_ = info.fps; }
    void row(int64_t frame, const Results& values) override {
        if (onFrame_) onFrame_(frameResult(frame, values, fps_));
    }
    void end(const RunEnd&) override {}

private:
    std::function<void(const FrameResult&)> onFrame_;
    double fps_ = kDefaultFps;
};

}  // namespace frameprobe::detail
