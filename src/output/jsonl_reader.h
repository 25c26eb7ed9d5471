// Reads back a run written in the JSON Lines format: what was measured, with
// which settings, and every row, so that runs of segments can be joined.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "indicators/results.h"
#include "analysis/events.h"
#include "io/decode_error.h"
#include "rows/row_sink.h"

struct RecordedRun {
    std::string name;  // where it was read from, for messages
    RunInfo info;      // threads come from the run record
    EventOptions events;
    std::vector<int64_t> frames;
    std::vector<Results> rows;
    double seconds = 0;  // wall time of its analysis
    // Where the decoder lost frames, from its "decode_error" events.
    std::vector<DecodeError> decodeErrors;
};

// A file that is not one whole run in the JSON Lines format; the message names
// the file and, where it helps, the line.
struct RecordedRunError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Null values read back as not written, except where the run would have written
// the indicator's no-value marker, so that every format shows the rows as the run did.
// Throws RecordedRunError, also for a run that was interrupted or never finished.
RecordedRun readJsonlRun(const std::string& path);
