// The report for people: one HTML page that needs nothing else, with a plot per
// requested indicator, the summary, the events and thumbnails of the worst
// frames and of the first frame of each event. It is written at the end of the
// run from what the run kept: the record's values and statistics, a bounded
// envelope of the values for the plots, and thumbnails of candidate frames only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "report/frame_envelope.h"
#include "output/output_file.h"
#include "rows/row_sink.h"
#include "report/thumbnail_keeper.h"

class RunRecord;

class HtmlReport final : public RowSink {
public:
    // `record` must be fed the same rows before this sink (e.g. first in a TeeSink);
    // it is read in end(). The file is created in begin(); every failure throws WriteError.
    // With `timecode`, times are shown as time codes from the input's start time code.
    HtmlReport(std::string path, const RunRecord& record, bool timecode = false);

    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;
    bool wantsPictures() const override { return true; }
    void picture(int64_t frame, const Image& luma) override { thumbnails_.picture(frame, luma); }

private:
    std::string path_;
    const RunRecord& record_;
    bool timecode_;
    FrameEnvelope envelope_;
    ThumbnailKeeper thumbnails_;
    std::optional<OutputFile> out_;
};
