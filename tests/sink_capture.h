// Runs rows through a sink into a temporary file and returns what it wrote.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "indicators/results.h"
#include "output/output_file.h"
#include "rows/row_sink.h"

struct CapturedRow {
    int64_t frame;
    Results values;
};

// A stream that vanishes when closed; the sink made by `make` writes to it.
class Capture {
public:
    Capture() : stream_(std::tmpfile()), file_(fileno(stream_), "out", false) {}
    ~Capture() { std::fclose(stream_); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    OutputFile& file() { return file_; }
    FILE* stream() const { return stream_; }
    std::string text() const {
        std::fflush(stream_);
        std::rewind(stream_);
        std::string out;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stream_)) > 0;) out.append(buffer, n);
        return out;
    }

private:
    FILE* stream_;
    OutputFile file_;
};

// begin, every row, end: what a run does.
inline void feed(RowSink& sink, const RunInfo& info, const std::vector<CapturedRow>& rows, RunEnd end = {}) {
    sink.begin(info);
    for (const CapturedRow& r : rows) sink.row(r.frame, r.values);
    if (end.frames == 0) end.frames = static_cast<int64_t>(rows.size());
    sink.end(end);
}

// A run asking for every indicator.
inline RunInfo everyIndicator(double fps = 25) {
    RunInfo info;
    info.path = "clip.yuv";
    info.format = "raw";
    info.width = 352;
    info.height = 288;
    info.fps = fps;
    info.frameCount = 10;
    info.mask = 0x7FFF;
    info.threads = 2;
    return info;
}
