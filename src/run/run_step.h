// The one run step every client shares: from an open frame source and the
// run's settings, the frames to read, the engine, and what the run shows
// (RunInfo); then the run itself, handing the shown rows to a sink. The
// command line's two forms and the library all run through it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/frame_source.h"
#include "pipeline/engine.h"
#include "rows/row_sink.h"
#include "tools/frame_rate.h"

struct RunSettings {
    std::string path;           // the input's name, as the run shows it
    uint32_t mask = 0xFFFFFFFFu;  // requested indicators
    std::optional<double> fps;  // default: the input's rate, else 25
    int64_t start = 0;
    std::optional<int64_t> frames;  // default: to the input's end
    std::optional<int64_t> origin;  // first frame of the whole run; default: start
    // Frames of the whole run from its origin, for a segment of it; default: a
    // run that is no segment is its own whole run, a segment's runs to the input's end.
    std::optional<int64_t> runFrames;
    // Raw input: rows past its known end repeat short reads and are no frames.
    bool rawInput = false;
    // Indicators in `mask` that were not asked for, by key: what added them.
    std::map<std::string, std::string> addedBy;
    unsigned threads = 0;           // 0: the hardware's count
    unsigned window = 0;            // frames measured together; 0: the engine chooses
    FlashSettings flash{};          // the photosensitive flash rule's display and area
};

struct RunOutcome {
    EngineOutcome engine;
    double seconds = 0;  // wall time of the analysis
};

// What a failed read of a run of `path` says.
std::string readFailure(const EngineOutcome& outcome, const std::string& path);

class RunStep {
public:
    // Throws std::bad_alloc when the frames do not fit in memory.
    RunStep(const RunSettings& settings, FrameSource& source);

    // What the run shows: input, sizes, rate, range, indicators, threads.
    const RunInfo& info() const { return info_; }

    // Calls sink.begin(info()) and hands it the rows from the start frame on
    // (frames read before it only warm the temporal indicators up). Ending the
    // sink is the caller's: what it shows after a failed read is its own.
    RunOutcome run(RowSink& sink, const std::atomic<bool>* stop = nullptr);

    // The decoder's losses among the `rows` frames shown: those before the first frame
    // shown belong to the warm-up, and an interrupted run shows fewer frames than it read.
    std::vector<DecodeError> decodeErrorsShown(int64_t rows, bool interrupted) const;
    // Sets what the input's streams told beside the pictures: the transport checks (their errors
    // placed among the `rows` frames shown) and the audio's loudness.
    void addStreamFindings(RunEnd& end, int64_t rows) const;

    // Whole frames the input held from the start frame on, once the run ended: info()'s, or what
    // the end of a pipe of raw input told.
    std::optional<int64_t> inputFrames() const;

private:
    FrameSource& source_;
    RunInfo info_;
    int64_t first_ = 0;  // the first frame read
    int64_t limit_ = 0;  // one past the last frame read
    bool rawInput_ = false;
    std::unique_ptr<Engine> engine_;
};
