// `--snapshots DIR`: the pictures a report shows, as PNG files of their own, so
// that the frame of a problem can be attached to a ticket: each indicator's
// worst frame and each event's first frame (the first 20), at the report's size.
#pragma once

#include <string>

#include "rows/row_sink.h"
#include "report/thumbnail_keeper.h"

class RunRecord;

class SnapshotWriter final : public RowSink {
public:
    // `record` must be fed the same rows before this sink; it is read in end().
    // The folder is created when missing; every failure throws WriteError.
    SnapshotWriter(std::string folder, const RunRecord& record);

    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override { thumbnails_.row(frame, values); }
    void end(const RunEnd& end) override;
    bool wantsPictures() const override { return true; }
    void picture(int64_t frame, const Image& luma) override { thumbnails_.picture(frame, luma); }

private:
    void write(const std::string& name, const Thumbnail& picture) const;
    std::string folder_;
    const RunRecord& record_;
    ThumbnailKeeper thumbnails_;
};
