#include "output/output_formats.h"

#include <array>
#include <vector>

#include "output/csv_sink.h"
#include "output/json_sink.h"
#include "output/jsonl_sink.h"
#include "output/legacy_sink.h"
#include "output/qctools_sink.h"

namespace {

template <typename Sink>
std::unique_ptr<RowSink> withRecord(const FormatTarget& t) {
    return std::make_unique<Sink>(t.output, t.record);
}

template <typename Sink>
std::unique_ptr<RowSink> rowsOnly(const FormatTarget& t) {
    return std::make_unique<Sink>(t.output);
}

std::unique_ptr<RowSink> legacy(const FormatTarget& t) {
    return std::make_unique<LegacySink>(t.output, t.log, t.logWanted);
}

const std::array kFormats = {
    OutputFormat{.name = "json", .makeSink = withRecord<JsonSink>, .keepsRows = true, .keepsAFailedRun = true},
    OutputFormat{.name = "jsonl", .makeSink = withRecord<JsonlSink>, .keepsRows = true, .keepsAFailedRun = true},
    OutputFormat{.name = "csv", .makeSink = rowsOnly<CsvSink>},
    // Made of the pictures' signalstats, which recorded rows do not hold.
    OutputFormat{.name = "qctools", .makeSink = rowsOnly<QctoolsSink>, .fromRecordedRows = false, .needs = "brng",
                 .fileSuffix = ".qctools.xml.gz"},
    OutputFormat{.name = "legacy", .makeSink = legacy, .closing = "\nFile stream closed\n\n", .writesLog = true},
};

}  // namespace

std::span<const OutputFormat> outputFormats() { return kFormats; }

const OutputFormat* findOutputFormat(std::string_view name) {
    for (const OutputFormat& f : kFormats)
        if (name == f.name) return &f;
    return nullptr;
}

const OutputFormat* formatOfFileName(std::string_view path) {
    for (const OutputFormat& f : kFormats) {
        const std::string_view suffix = f.fileSuffix ? f.fileSuffix : "";
        if (!suffix.empty() && path.size() > suffix.size() && path.ends_with(suffix)) return &f;
    }
    return nullptr;
}

std::string formatChoices(const OutputFormat& first, bool recordedOnly) {
    std::vector<const char*> names{first.name};
    for (const OutputFormat& f : kFormats)
        if (&f != &first && (f.fromRecordedRows || !recordedOnly)) names.push_back(f.name);
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += std::string(i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    return text;
}
