// Row sinks: where the rows of a run go. A run calls begin() once, row() once
// per frame in frame order, and end() once, also after an interruption.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "indicators/results.h"
#include "io/audio_loudness.h"
#include "io/decode_error.h"
#include "io/picture.h"
#include "io/timecode.h"
#include "tools/frame_rate.h"
#include "tools/image.h"
#include "transport/transport_report.h"

struct RunInfo {
    std::string path;
    std::string format;  // "raw", "y4m", or the container's name
    uint32_t width = 0;
    uint32_t height = 0;
    double fps = kDefaultFps;
    int bitDepth = 8;
    PictureFormat picture;  // the input's pixel format, planes and colour description
    std::string note;  // a line about how the samples are measured, when there is one
    std::optional<StartTimecode> timecode;  // of the input's frame 0, when its container states one
    int64_t startFrame = 0;
    int64_t origin = 0;  // first frame of the whole run this one is part of
    std::optional<int64_t> frameCount;  // frames the run means to measure, when known
    std::optional<int64_t> runFrameCount;  // frames of the whole run from `origin`, when known
    // Whole frames the input holds from the first frame on, when known for sure (raw input of
    // a known length, whose rows past the end repeat short reads): rows beyond are not frames.
    std::optional<int64_t> inputFrames;
    uint32_t mask = 0;                  // requested indicators
    // Indicators measured though not asked for, by key: what added them.
    std::map<std::string, std::string> addedBy;
    unsigned threads = 1;
};

struct RunEnd {
    int64_t frames = 0;         // rows written
    double seconds = 0;         // wall time of the analysis
    bool interrupted = false;
    // Where the decoder lost frames among the frames shown, in frame order.
    std::vector<DecodeError> decodeErrors = {};
    // RunInfo::inputFrames, or what a pipe's end told of it.
    std::optional<int64_t> inputFrames = {};
    // An MPEG transport stream's checks, and the loudness of each audio stream, when the input has them.
    std::optional<TransportReport> transport = {};
    std::vector<AudioLoudness> audio = {};
};

// Of `rows` rows, those that are whole frames of the input: as many as it held, when known
// before the run (`info`) or found at its end (`found`).
inline int64_t measuredFrames(int64_t rows, const RunInfo& info, std::optional<int64_t> found) {
    const std::optional<int64_t> input = found ? found : info.inputFrames;
    return input ? std::min(rows, std::max<int64_t>(0, *input)) : rows;
}

class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void begin(const RunInfo& info) = 0;
    virtual void row(int64_t frame, const Results& values) = 0;
    virtual void end(const RunEnd& end) = 0;
    // The run failed after begin(): a sink writing one document closes it with
    // the reason, so that a reader of a stream sees the failure; no end() follows.
    virtual void abandon(const std::string& /*reason*/) {}
    // A sink that looks at the pictures themselves (thumbnails) says so; it is
    // then handed each frame's luma plane just before the frame's row.
    virtual bool wantsPictures() const { return false; }
    virtual void picture(int64_t /*frame*/, const Image& /*luma*/) {}
};

#include <stdexcept>

// A write that failed: the message names the file and the system's reason.
// Sinks throw it; the run stops and the program exits with a failure status.
struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
