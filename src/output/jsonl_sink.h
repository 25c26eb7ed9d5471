// The JSON Lines format: a header record, one record per frame as it is
// measured, and a summary record; each line is flushed, so readers can follow.
#pragma once

#include <cstdio>
#include <string>

#include "output/output_file.h"
#include "rows/row_sink.h"

class RunRecord;

class JsonlSink final : public RowSink {
public:
    // `record` must be fed the same rows (e.g. through a TeeSink); it is read in end().
    JsonlSink(OutputFile& out, const RunRecord& record);
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;
    void abandon(const std::string& reason) override;

private:
    void line(const std::string& json);
    OutputFile& out_;
    const RunRecord& record_;
    RunInfo info_;
    bool open_ = false;  // begun and not yet ended
};
