#include "output/csv_sink.h"

#include <cmath>

#include "indicators/registry.h"
#include "rows/text_format.h"

namespace {

// RFC 4180 ends every record, the last included, with CRLF.
constexpr const char* kLineEnd = "\r\n";

}  // namespace

CsvSink::CsvSink(OutputFile& out) : out_(out) {}

void CsvSink::begin(const RunInfo& info) {
    fps_ = info.fps;
    // Every indicator has its column, requested or not, so that columns never move.
    std::string header = "frame,time";
    for (const IndicatorDescriptor& d : indicatorRegistry()) header += std::string(",") + d.key;
    for (const char* name : kSignalStatNames) header += std::string(",signalstats.") + name;
    out_.append(header + kLineEnd);
    out_.commit();
}

void CsvSink::row(int64_t frame, const Results& values) {
    const double time = values.time.value_or(static_cast<double>(frame) / fps_);
    std::string line = std::to_string(frame) + "," + (std::isfinite(time) ? shortestNumber(time) : "");
    for (int i = 0; i < kIndicatorCount; ++i) {
        line += ',';
        if (const auto value = meaningfulValue(values, i)) line += shortestNumber(*value);
    }
    for (int k = 0; k < kSignalStatCount; ++k) {
        line += ',';
        if (values.signal) line += shortestNumber(values.signal->values[static_cast<std::size_t>(k)]);
    }
    out_.append(line + kLineEnd);
    out_.commit();
}

void CsvSink::end(const RunEnd&) { out_.commit(); }
