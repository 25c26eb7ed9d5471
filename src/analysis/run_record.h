// What a run keeps for its summary: every frame's values, compactly (128 bytes a
// frame), and its events. Rows are kept only for what needs them (statistics);
// without them a run's memory stays flat however long it runs.
// It is a row sink of its own: a run feeds it next to the sinks that read it at the end.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/events.h"
#include "analysis/qc_gate.h"
#include "rows/row_sink.h"
#include "analysis/statistics.h"

class RunRecord final : public RowSink {
public:
    explicit RunRecord(EventOptions options = {});
    // Whether every frame's values are kept (the default); call before begin().
    // Without them statistics() is empty; events and the frame count remain.
    void keepRows(bool keep) { keepRows_ = keep; }
    // Whether presentation times are kept without the rows (8 bytes a frame), so that
    // events judged without statistics are as long as their times say.
    void keepTimes(bool keep) { keepTimes_ = keep; }
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;

    const RunInfo& info() const { return info_; }
    const EventOptions& eventOptions() const { return options_; }
    int64_t frames() const { return frameCount_; }
    bool requested(int indicator) const;
    // Over the frames where the indicator has a value; empty when not requested.
    Statistics statistics(int indicator) const;
    // Valid at any time: runs still open end at the last frame recorded. Places
    // where the decoder lost frames come as "decode_error" events once the run ended.
    std::vector<Event> events() const;
    // The gate that judges the run, if any; it must outlive the record.
    void setGate(const QcGate* gate) { gate_ = gate; }
    const QcGate* gate() const { return gate_; }
    // The gate's verdict on the frames so far; none without a gate.
    std::optional<Verdict> verdict() const;
    // Frames the run set out to measure and whole frames of the input it measured.
    FrameCounts frameCounts() const;
    // Frames the decoder lost among the frames of the run; 0 before end().
    int64_t decodeErrors() const { return end_ ? framesLost(end_->decodeErrors) : 0; }
    // Errors the transport checks counted; 0 before end() and for inputs that are no transport stream.
    int64_t transportErrors(TsCheck check) const { return end_ && end_->transport ? end_->transport->count(check) : 0; }
    // Frames the detectors found damaged, so far.
    int64_t damagedFrames() const { return damagedFrames_; }
    // Set by end(); empty before.
    const std::optional<RunEnd>& runEnd() const { return end_; }

private:
    // A frame's presentation time; NaN when not kept.
    double timeOf(int64_t frame) const;

    EventOptions options_;
    RunInfo info_;
    EventDetector detector_;
    std::vector<int64_t> frames_;
    // Presentation times by frame, when the rows carry them (containers); empty otherwise.
    std::vector<double> times_;
    // kIndicatorCount values per frame; NaN where the indicator has no value.
    std::vector<double> values_;
    std::optional<RunEnd> end_;
    bool keepRows_ = true;
    bool keepTimes_ = false;
    std::optional<int64_t> firstFrame_;  // of the rows recorded
    int64_t frameCount_ = 0;
    int64_t damagedFrames_ = 0;
    const QcGate* gate_ = nullptr;
};
