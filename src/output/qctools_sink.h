// The file QCTools opens (NAME.qctools.xml.gz): ffprobe's XML of the frames, one `frame`
// element per row with its time stamps and the picture's signalstats statistics as
// `lavfi.signalstats.*` tags, gzipped as it is written, so that a run of any length keeps
// only one row in memory.
#pragma once

#include <memory>
#include <string>

#include "output/output_file.h"
#include "rows/row_sink.h"
#include "tools/frame_rate.h"

class QctoolsSink final : public RowSink {
public:
    explicit QctoolsSink(OutputFile& out);
    ~QctoolsSink() override;
    void begin(const RunInfo& info) override;
    void row(int64_t frame, const Results& values) override;
    void end(const RunEnd& end) override;
    void abandon(const std::string& reason) override;

private:
    // Compresses `text` and hands what the compressor gives out to the file; `finish` ends the stream.
    void write(const std::string& text, bool finish);

    struct Compressor;
    OutputFile& out_;
    std::unique_ptr<Compressor> zip_;
    std::string text_;
    std::string frameAttributes_;  // what every frame element says of the picture
    double fps_ = kDefaultFps;
    bool finished_ = false;
};
