// What a run keeps for its summary: every frame's values, compactly (128 bytes a
// frame), and its events. Rows are kept only for what needs them (statistics);
// without them a run's memory stays flat however long it runs.
// It is a row sink of its own: a run feeds it next to the sinks that read it at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/events.h"
#include "rows/row_sink.h"
#include "analysis/statistics.h"

class RunRecord final : public RowSink {
public:
    explicit RunRecord(EventOptions options = {});
    // Whether every frame's values are kept (the default); call before begin().
    // Without them statistics() is empty; events and the frame count remain.
    void keepRows(bool keep) { keepRows_ = keep; }
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;

    const RunInfo& info() const { return info_; }
    const EventOptions& eventOptions() const { return options_; }
    int64_t frames() const { return frameCount_; }
    bool requested(int indicator) const;
    // Over the frames where the indicator has a value; empty when not requested.
    Statistics statistics(int indicator) const;
    // Valid at any time: runs still open end at the last frame recorded.
    std::vector<Event> events() const;
    // Set by end(); empty before.
    const std::optional<RunEnd>& runEnd() const { return end_; }

private:
    EventOptions options_;
    RunInfo info_;
    EventDetector detector_;
    std::vector<int64_t> frames_;
    // kIndicatorCount values per frame; NaN where the indicator has no value.
    std::vector<double> values_;
    std::optional<RunEnd> end_;
    bool keepRows_ = true;
    int64_t frameCount_ = 0;
};
