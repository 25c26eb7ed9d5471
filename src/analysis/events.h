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

#include "indicators/results.h"

struct EventOptions {
    // Seconds an event must last to be reported, by event type; a missing type has 0: every run.
    std::map<std::string, double, std::less<>> minDuration;
    // A flickering value above this marks its period as flicker.
    double flickerThreshold = 0.1;
    // Seconds a type's condition must stay false for its event to end; a missing type has 0:
    // one frame without the defect ends it.
    std::map<std::string, double, std::less<>> recovery;
    // "warning" or "error" by event type; a missing type is a warning.
    std::map<std::string, std::string, std::less<>> severity;

    double minDurationOf(std::string_view type) const;
    double recoveryOf(std::string_view type) const;
    std::string severityOf(std::string_view type) const;
    bool operator==(const EventOptions&) const = default;
};

struct Event {
    std::string type;
    int64_t startFrame = 0;
    int64_t endFrame = 0;  // inclusive
    double startTime = 0;  // start_frame / fps
    double endTime = 0;    // (end_frame + 1) / fps: when the last frame ends
    double duration = 0;   // (end_frame - start_frame + 1) / fps = end_time - start_time
    std::string severity = "warning";  // of its type in the run's event options
};

// Whether the indicator's values of one frame mark its event type (leaving aside
// the type during which it is not reported).
bool marksEvent(const Results& values, int indicator, const EventOptions& options);

// The event types in report order, e.g. "black".
std::span<const std::string_view> eventTypes();

// Whether an event lasts its type's minimum duration.
bool lastsLongEnough(const Event& event, const EventOptions& options);

// Seconds to whole nanoseconds. Differences and sums of presentation times carry
// noise in their last bits (2.3 - 0.3 gives 1.9999999999999998), which would put
// a duration equal to a limit on one side of it.
double wholeNanoseconds(double seconds);

// Finds the events of a run fed one row at a time, in frame order.
class EventDetector {
public:
    // `mask` is the run's request mask: indicators not requested give no events.
    // Values that stand for several frames reach back no further than `origin`,
    // the first frame of the whole run (-1: the first frame fed).
    EventDetector(double fps, uint32_t mask, EventOptions options, int64_t origin = -1);
    void feed(int64_t frame, const Results& values);
    // The events so far, by start frame; runs still open end at the last frame fed.
    // Events shorter than their type's minimum duration are left out.
    std::vector<Event> events() const;
    // The same with the short ones, for a caller that times them itself. `timeOf`, when
    // given, is a frame's presentation time (NaN when unknown): the time a defect was
    // absent between two runs is then what the times say, for the recovery.
    std::vector<Event> eventsOfAnyLength(const std::function<double(int64_t)>& timeOf = {}) const;
    const EventOptions& options() const { return options_; }

private:
    struct Span {
        int64_t start;
        int64_t end;
    };
    struct Track {
        std::size_t type;  // index into eventTypes()
        int indicator;
        std::optional<int> except;  // the indicator of the type during which this one is not reported
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
