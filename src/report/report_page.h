// The HTML text of a report page, from what a run kept.
#pragma once

#include <string>
#include <vector>

#include "report/frame_envelope.h"
#include "output/output_file.h"
#include "rows/row_sink.h"
#include "report/thumbnail_keeper.h"

class RunRecord;

struct ReportContent {
    const RunRecord& record;
    const FrameEnvelope& envelope;
    const ThumbnailKeeper& thumbnails;
    RunEnd end;  // the verdict comes from the record, which knows its gate
    bool timecode = false;  // times as time codes
};

// Writes the whole page, section by section; throws WriteError.
void writeReportPage(OutputFile& out, const ReportContent& content);
