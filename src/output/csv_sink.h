// The CSV format (RFC 4180): a header row naming every column, one row per
// frame, empty cells where there is no value, CRLF line ends.
#pragma once

#include <cstdio>
#include <string>

#include "output/output_file.h"
#include "rows/row_sink.h"
#include "tools/frame_rate.h"

class CsvSink final : public RowSink {
public:
    explicit CsvSink(OutputFile& out);
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;

private:
    OutputFile& out_;
    double fps_ = kDefaultFps;
};
