// Events: runs of consecutive frames with a defect, with start, end and duration.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/judgement_kinds.h"
#include "detectors/detections.h"
#include "indicators/results.h"

struct EventOptions {
    // Seconds an event must last to be reported, by event type; a missing type has 0: every run.
    std::map<std::string, double, std::less<>> minDuration;
    // A flickering value above this marks its period as flicker.
    double flickerThreshold = 0.1;
    // Seconds a type's condition must stay false for its event to end; a missing type has 0:
    // one frame without the defect ends it.
    std::map<std::string, double, std::less<>> recovery;
    // By event type; a missing type is a warning, except damaged and lost frames
    // (decode_error) and failed flash rules, errors.
    std::map<std::string, Severity, std::less<>> severity;

    double minDurationOf(std::string_view type) const;
    double recoveryOf(std::string_view type) const;
    Severity severityOf(std::string_view type) const;
    bool operator==(const EventOptions&) const = default;
};

struct Event {
    std::string type;
    int64_t startFrame = 0;
    int64_t endFrame = 0;  // inclusive
    double startTime = 0;  // start_frame / fps
    double endTime = 0;    // (end_frame + 1) / fps: when the last frame ends
    double duration = 0;   // (end_frame - start_frame + 1) / fps = end_time - start_time
    Severity severity = Severity::Warning;  // of its type in the run's event options
    // What its first frame showed: bars' widths in pixels (letterbox, pillarbox), a flat
    // picture's luma level (constant_colour).
    std::optional<BarWidths> bars;
    std::optional<int> level;
    std::optional<int> cb, cr;  // and its chroma (8-bit codes), from runs that read the planes
    // The transport check that failed, for "transport" events, and how many times.
    std::string check;
    int64_t errors = 0;
    // The bars' side: "both", or the one side ("top", "bottom", "left", "right"); "" for other types.
    std::string side() const;
};

// One event type of a run and how a row marks it: by a detector's finding, or (flicker)
// by an indicator's values and evidence over the limit.
struct EventSource {
    std::size_t type = 0;                // index into eventTypes()
    std::optional<Detection> detection;  // the detector's finding that marks it
    int indicator = -1;                  // else the indicator whose values mark it
    int64_t framesPerValue = 1;          // a value stands for this many frames, ending at its own
    int except = -1;  // a row without the detector's finding: the indicator whose flag hides this one's
    int64_t flagLead = 0;                // and the frames before its first flagged one that belong to its event

    std::string_view name() const;
    // Whether the row tells anything of the type: values that stand for several frames
    // leave the rows between them silent.
    bool speaks(const Results& values) const;
    bool marks(const Results& values, const EventOptions& options) const;
    // The first frame of the defect a marked row belongs to (a freeze starts at the
    // picture its frames repeat), never before `first`.
    int64_t startOf(int64_t frame, const Results& values, int64_t first) const;
};

// The event types a run with these indicators can mark, in eventTypes() order, at its rate.
std::vector<EventSource> eventSources(uint32_t mask, double fps);

// Frames the decoder lost: an event type that the run's end gives, not its rows.
inline constexpr std::string_view kDecodeErrorEvent = "decode_error";
// Errors of the transport checks of an MPEG transport stream, which the run's end gives too.
inline constexpr std::string_view kTransportEvent = "transport";

// The event types in report order, e.g. "black".
std::span<const std::string_view> eventTypes();
// The types of them that a run's rows mark (all but those its end gives), in the same
// order: the ones a minimum duration, a recovery time and a live alarm apply to.
std::span<const std::string_view> rowEventTypes();
// A type's name in options, e.g. "constant-colour" (--constant-colour-min-duration).
std::string optionName(std::string_view type);

// Whether an event lasts its type's minimum duration.
bool lastsLongEnough(const Event& event, const EventOptions& options);

// Seconds rounded to whole nanoseconds, still in seconds. Differences and sums of presentation times carry
// noise in their last bits (2.3 - 0.3 gives 1.9999999999999998), which would put
// a duration equal to a limit on one side of it.
double secondsRoundedToNanoseconds(double seconds);

// Finds the events of a run fed one row at a time, in frame order.
class EventDetector {
public:
    // `mask` is the run's request mask: indicators not requested give no events.
    // Values that stand for several frames reach back no further than `origin`,
    // the first frame of the whole run (-1: the first frame fed).
    EventDetector(double fps, uint32_t mask, EventOptions options, int64_t origin = -1);
    void feed(int64_t frame, const Results& values);
    // The events so far, by start frame; runs still open end at the last frame fed.
    // Events shorter than their type's minimum duration are left out. `timeOf`, when
    // given, is a frame's presentation time (NaN when unknown): presentation times may
    // space frames unevenly, so events are then as long as the times say, and so is the
    // time a defect was absent between two runs, for the recovery.
    std::vector<Event> events(const std::function<double(int64_t)>& timeOf = {}) const;
    const EventOptions& options() const { return options_; }

private:
    struct Span {
        int64_t start;
        int64_t end;
        Detections first;  // what the first frame showed
    };
    struct Track {
        EventSource source;
        std::optional<Span> open;
        std::vector<Span> closed;
        void extend(Span span);
        void close();
    };
    double fps_;
    EventOptions options_;
    std::vector<Track> tracks_;
    int64_t origin_;
    std::optional<int64_t> firstFrame_;
};
