// The output formats by name: what `--format` offers, in a run and in `merge`, and how
// each makes its sink. A new format is its sink and one line of this table.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "output/output_file.h"
#include "rows/row_sink.h"

class RunRecord;

// Where a format's sink writes: the output, and the legacy log (null: none, which the
// table says when `logWanted`); `record` is fed the same rows before the sink.
struct FormatTarget {
    OutputFile& output;
    OutputFile* log;
    bool logWanted;
    const RunRecord& record;
};

struct OutputFormat {
    const char* name;  // "json": the value of --format
    std::unique_ptr<RowSink> (*makeSink)(const FormatTarget& target);
    // Written after the end of a complete run (not an interrupted one); null: nothing.
    const char* closing = nullptr;
    bool writesLog = false;        // the legacy log file goes with it
    bool keepsRows = false;        // its end sums up every frame's values
    bool keepsAFailedRun = false;  // its document says that the run failed, and how far it came
    bool fromRecordedRows = true;  // merge can write it from the rows of JSON Lines parts
    // An indicator the format is made of, added to the run (its key); null: none.
    const char* needs = nullptr;
    // An output whose name ends so is in this format unless --format says otherwise; null: none.
    const char* fileSuffix = nullptr;
};

// Every format, in the order their names are listed after the default.
std::span<const OutputFormat> outputFormats();
// The format of that name; null when there is none.
const OutputFormat* findOutputFormat(std::string_view name);
// The format an output's file name asks for; null when its name asks for none.
const OutputFormat* formatOfFileName(std::string_view path);
// "legacy, json, jsonl, csv or qctools": `first` (the default), then the other formats
// `merge` can write (all of them unless `recordedOnly`).
std::string formatChoices(const OutputFormat& first, bool recordedOnly = false);
