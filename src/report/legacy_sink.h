// The legacy output: a banner and a tab-separated table on standard output, and
// the same rows (with their own header and number formats) in the log file.
#pragma once

#include <array>
#include <cstdio>

#include "indicators/registry.h"
#include "report/row_sink.h"

class LegacySink final : public RowSink {
public:
    // `log` may be null: the run then goes on without a log. `logName` names it in messages.
    LegacySink(FILE* log, const char* logName);
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;

private:
    FILE* log_;
    const char* logName_;
    // A column keeps its last value on frames where its indicator wrote none.
    std::array<double, kIndicatorCount> shown_{};
};

// Exposure and the flags are printed as integers, truncated toward zero.
int32_t legacyInteger(double value);
