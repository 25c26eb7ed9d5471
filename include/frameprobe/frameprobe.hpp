// frameprobe's C++ API: no-reference quality indicators on every frame for frames the caller pushes or for any file or
// URL the program reads. The values are those the program prints, for any number of threads. Errors are thrown as
// frameprobe::Error with a one-line message.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "frameprobe/export.h"
#include "frameprobe/version.h"

namespace frameprobe {

// The version of the library linked in, e.g. "1.0.0" (FRAMEPROBE_VERSION_STRING
// is the one of the headers compiled against).
FRAMEPROBE_API const char* version();

// The library's version as one number, 10000 * major + 100 * minor + patch
// (FRAMEPROBE_VERSION_NUMBER is the one of the headers compiled against).
FRAMEPROBE_API int versionNumber();

// The number of indicators this library measures; new versions may add some, so
// nothing here is sized by it.
FRAMEPROBE_API int indicatorCount();

// The key of indicator `index` (0 .. indicatorCount() - 1) in report order:
// "blockiness", "spatial_activity", ...; null for other indices.
FRAMEPROBE_API const char* indicatorKey(int index);

// The index of the indicator of this key or name; empty when there is none.
FRAMEPROBE_API std::optional<int> indicatorIndex(std::string_view key);

struct FRAMEPROBE_API Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The keys of the indicators of a list of keys or names ("blur,noise,freezing", "all") or
// of a mask ("0x7FFF"), with the indicators a listed one needs, in report order. Throws Error.
FRAMEPROBE_API std::vector<std::string> indicatorKeys(std::string_view list);

struct EventSettings {
    // Seconds an event must last to be reported, by type ("black", "freeze",
    // "letterbox", "pillarbox", "flicker"); types not listed report every event.
    std::map<std::string, double> minDuration;
    // A flickering value above this marks its period as flicker.
    double flickerThreshold = 0.1;
};

// One frame's values, one slot per indicator (indicatorCount()) in report order;
// empty where the indicator was not requested or has no value on this frame.
struct FrameResult {
    int64_t frame = 0;
    // Seconds: a container's presentation time (from the stream's start), else frame / fps.
    double time = 0;
    std::vector<std::optional<double>> values;
    // The value of indicator `index`; empty out of range too.
    std::optional<double> value(int index) const {
        return index >= 0 && static_cast<std::size_t>(index) < values.size() ? values[static_cast<std::size_t>(index)]
                                                                              : std::nullopt;
    }
};

// How grave an event type is: a warning, or an error that fails a verdict.
enum class Severity { Warning, Error };

// "warning" or "error", as the program's JSON writes it.
FRAMEPROBE_API const char* severityName(Severity severity);

// A run of consecutive frames with a defect.
struct Event {
    std::string type;  // "black", "constant_colour", "freeze", "letterbox", "pillarbox", "flicker", "damaged",
                       // "decode_error", "transport"
    int64_t startFrame = 0;
    int64_t endFrame = 0;  // inclusive
    double startTime = 0;
    double endTime = 0;  // when the last frame ends
    double duration = 0;
    Severity severity = Severity::Warning;
    // What the first frame showed, where the type tells it: bars' widths in pixels and their
    // side ("both" or the one side) for letterbox (top, bottom) and pillarbox (left, right),
    // a flat picture's luma level for constant_colour.
    std::optional<int> top, bottom, left, right, level;
    std::string side;
    // "transport" events of an MPEG transport stream: the check that failed and its errors.
    std::string check;
    int64_t errors = 0;
};

struct FrameValue {
    int64_t frame = 0;
    double value = 0;
};

// Statistics of one requested indicator over the frames where it has a value.
struct IndicatorSummary {
    std::string key;
    int64_t count = 0;
    // Meaningful only when count > 0. The standard deviation is the
    // population's; percentiles interpolate between closest ranks.
    double min = 0, max = 0, mean = 0, stdev = 0, median = 0, p5 = 0, p95 = 0;
    std::vector<FrameValue> worst;  // the most extreme values in the worse direction
};

struct Summary {
    int64_t frames = 0;
    std::vector<IndicatorSummary> indicators;  // the requested ones, in report order
};

// The time code a container states for the input's frame 0.
struct StartTimecode {
    std::string start;       // "HH:MM:SS:FF", or "HH:MM:SS;FF" when it drops frame numbers
    int fps = 0;             // frames counted per second of time code
    bool dropFrame = false;
};

// What a run was: its input and settings.
struct RunDescription {
    std::string input;   // the path given, or "" for pushed frames
    std::string format;  // "raw", "y4m", a container's name, or "frames" when pushed
    uint32_t width = 0;
    uint32_t height = 0;
    double fps = 25;
    int bitDepth = 8;
    // The input's pictures by FFmpeg's names ("yuv420p10le", "4:2:0", "tv", "bt709", ...); the
    // colour description is empty where the input does not say, and for pushed frames.
    std::string pixelFormat;
    std::string planesConvertedTo;  // the planar format other formats are read as, "" when none
    std::string chromaSubsampling;
    std::optional<std::string> colorRange, colorMatrix, colorTransfer, colorPrimaries;
    int64_t startFrame = 0;
    std::optional<int64_t> frameCount;  // frames the run meant to measure, when known
    std::vector<std::string> indicators;  // the keys measured, in report order
    unsigned threads = 1;
    std::optional<StartTimecode> timecode;  // none for raw, Y4M and pushed frames
};

// Settings of an analysis of pushed frames.
struct Settings {
    uint32_t width = 0;
    uint32_t height = 0;
    // 8 for 8-bit planes; 9 to 16 for 16-bit planes, whose luma the long-standing
    // indicators measure on its 8 most significant bits (v >> (bitDepth - 8)).
    int bitDepth = 8;
    // Pushed chroma planes: log2 of their subsampling, 1 and 1 for 4:2:0, 0 and 0 for 4:4:4.
    int chromaLog2Width = 1;
    int chromaLog2Height = 1;
    double fps = 25;  // frames per second: times, freezing, events
    std::string indicators = "all";  // keys, names or a mask, as indicatorKeys() takes them
    unsigned threads = 0;  // 0: the hardware's count
    EventSettings events;
};

// An analysis of frames the caller pushes, one luma plane at a time. Frames are
// measured several at a time on a worker pool; their values come out in frame
// order a few frames after they were pushed, and all of them after finish().
// One thread at a time may call an analysis.
class FRAMEPROBE_API Analysis {
public:
    explicit Analysis(const Settings& settings);  // throws Error
    ~Analysis();
    Analysis(Analysis&&) noexcept;
    Analysis& operator=(Analysis&&) noexcept;

    // Measures the next frame from its luma plane alone (enough for indicators that read
    // luma only): width x height samples, rows `strideBytes` apart (at least width samples;
    // negative for bottom-up planes). The plane is read before push returns and may be reused at once.
    void push(const uint8_t* plane, std::ptrdiff_t strideBytes);
    void push(const uint16_t* plane, std::ptrdiff_t strideBytes);
    // Measures the next frame from its Y, U and V planes, each with its own stride; the chroma
    // planes are subsampled as the settings say, their sizes rounded up.
    void push(const uint8_t* y, std::ptrdiff_t yStride, const uint8_t* u, std::ptrdiff_t uStride, const uint8_t* v,
              std::ptrdiff_t vStride);
    void push(const uint16_t* y, std::ptrdiff_t yStride, const uint16_t* u, std::ptrdiff_t uStride, const uint16_t* v,
              std::ptrdiff_t vStride);
    // Measures the frames still in flight; pushing is over. Called by the
    // destructor when not called before.
    void finish();

    // The next measured frame not yet taken, in frame order; empty when none.
    std::optional<FrameResult> next();
    // Events so far by start frame; after finish() all of them (before it,
    // runs still open end at the last frame measured).
    std::vector<Event> events() const;
    Summary summary() const;
    const RunDescription& run() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Settings of an analysis of a file, a URL or standard input ("-").
struct FileSettings {
    std::string input;
    std::optional<uint32_t> width, height;  // raw YUV needs them; others must match
    std::optional<double> fps;              // default: the input's rate, else 25
    int64_t start = 0;                      // first frame measured
    std::optional<int64_t> frames;          // default: to the end of the input
    // Measure from `start` exactly as a run from `origin` shows those frames.
    std::optional<int64_t> origin;
    int stream = -1;  // a container's stream index; default the first video stream
    std::string indicators = "all";
    unsigned threads = 0;  // 0: the hardware's count
    EventSettings events;
};

struct FileResult {
    RunDescription run;
    Summary summary;
    std::vector<Event> events;
    bool interrupted = false;  // `stop` ended the run early
    // Frames the decoder lost (their places are the "decode_error" events).
    int64_t decodeErrors = 0;
    double seconds = 0;        // wall time of the analysis
};

// Measures the frames of an input, calling onFrame (when set) with each frame's
// values in frame order on the calling thread. Stops after a whole frame once
// `stop` is set. Throws Error when the input cannot be read.
FRAMEPROBE_API FileResult analyzeFile(const FileSettings& settings,
                       const std::function<void(const FrameResult&)>& onFrame = {},
                       const std::atomic<bool>* stop = nullptr);

// The spatial indicators of one picture (the temporal ones have no value).
FRAMEPROBE_API FrameResult measure(const uint8_t* plane, uint32_t width, uint32_t height, std::ptrdiff_t strideBytes,
                    std::string_view indicators = "all");

}  // namespace frameprobe
