// What a run keeps for its summary: every frame's values, compactly, and its events.
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
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;

    const RunInfo& info() const { return info_; }
    const EventOptions& eventOptions() const { return options_; }
    int64_t frames() const { return static_cast<int64_t>(frames_.size()); }
    bool requested(int indicator) const;
    // Over the frames where the indicator has a value; empty when not requested.
    Statistics statistics(int indicator) const;
    // Valid at any time: runs still open end at the last frame recorded. Places
    // where the decoder lost frames come as "decode_error" events once the run ended.
    std::vector<Event> events() const;
    // Frames the decoder lost among the frames of the run; 0 before end().
    int64_t decodeErrors() const { return end_ ? framesLost(end_->decodeErrors) : 0; }
    // Set by end(); empty before.
    const std::optional<RunEnd>& runEnd() const { return end_; }

private:
    // Times an event by the presentation times of its frames.
    void retime(Event& event) const;

    EventOptions options_;
    RunInfo info_;
    EventDetector detector_;
    std::vector<int64_t> frames_;
    // Presentation times by frame, when the rows carry them (containers); empty otherwise.
    std::vector<double> times_;
    // kIndicatorCount values per frame; NaN where the indicator has no value.
    std::vector<double> values_;
    std::optional<RunEnd> end_;
};
