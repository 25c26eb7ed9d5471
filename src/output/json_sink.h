// The JSON format: one document, its frames written as they come; the summary
// and events are read from the run's record at the end.
#pragma once

#include <cstdio>
#include <string>

#include "output/output_file.h"
#include "rows/row_sink.h"

class RunRecord;

class JsonSink final : public RowSink {
public:
    // `record` must be fed the same rows (e.g. through a TeeSink); it is read in end().
    JsonSink(OutputFile& out, const RunRecord& record);
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;
    void abandon(const std::string& reason) override;

private:
    OutputFile& out_;
    const RunRecord& record_;
    RunInfo info_;
    bool firstFrame_ = true;
    bool open_ = false;  // begun and not yet closed
};
