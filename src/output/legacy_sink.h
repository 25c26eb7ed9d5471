// The legacy output: a banner and a tab-separated table on the console, and the
// same rows (with their own header and number formats) in the log file.
#pragma once

#include <array>

#include "indicators/registry.h"
#include "output/output_file.h"
#include "rows/row_sink.h"

class LegacySink final : public RowSink {
public:
    // `log` may be null: the run then goes on without a log, saying so in the
    // table when one was asked for.
    LegacySink(OutputFile& console, OutputFile* log, bool logWanted = true);
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;

private:
    OutputFile& console_;
    OutputFile* log_;
    bool logWanted_;
    // A column keeps its last value on frames where its indicator wrote none.
    std::array<double, kIndicatorCount> shown_{};
};

// Exposure and the flags are printed as integers, truncated toward zero.
int32_t legacyInteger(double value);
