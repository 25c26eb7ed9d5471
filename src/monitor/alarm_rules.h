// Alarms of a live channel: runs of defective frames that last long enough
// (the detection time) are raised at once, and cleared once the defect has
// been gone for the recovery time.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "indicators/results.h"

// The monitor's own alarms, beside the event types of file runs: audio below its silence
// threshold, no pictures at all, short-term loudness outside its range and a true peak above
// its ceiling (loudness_alarms.h). A new one joins this list, which makes its options and metrics.
inline constexpr std::string_view kSilenceAlarm = "silence";
inline constexpr std::string_view kNoSignalAlarm = "no_signal";
inline constexpr std::string_view kLoudnessEvent = "loudness";
inline constexpr std::string_view kTruePeakEvent = "true_peak";
inline constexpr std::array kMonitorAlarms = {kSilenceAlarm, kNoSignalAlarm, kLoudnessEvent, kTruePeakEvent};

struct AlarmTiming {
    double detection = 0;  // seconds a defect lasts before it is raised
    double recovery = 0;   // seconds without it before it clears
};

struct AlarmSettings {
    std::map<std::string, AlarmTiming, std::less<>> timing;  // by event type, where set
    std::map<std::string, std::string, std::less<>> severity;  // by event type
    double flickerThreshold = 0.1;

    AlarmTiming timingOf(std::string_view type) const;  // what is set, or defaultTiming(type)
    std::string severityOf(std::string_view type) const;
};

// A type's times when nothing sets them: 2 s and 1 s; transport errors and true peaks are
// raised at once, and loudness, whose short-term value moves with the programme, after 10 s.
AlarmTiming defaultTiming(std::string_view type);

struct AlarmChange {
    enum Kind { Pending, Raised, Cleared } kind;
    std::string_view event;
    int64_t startFrame = 0;  // first defective frame of the run
    int64_t endFrame = 0;    // Cleared: last defective frame
};

// One kind of defect followed frame by frame (frames are stream frame numbers
// and may step by more than one when frames are skipped).
class AlarmTracker {
public:
    AlarmTracker(std::string_view event, AlarmTiming timing, double fps)
        : event_(event), timing_(timing), fps_(fps) {}
    // `defect` empty: this frame says nothing either way (e.g. between flicker periods).
    // `runStart` is where a defect starting on this frame began.
    void feed(int64_t frame, std::optional<bool> defect, int64_t runStart, std::vector<AlarmChange>& changes);
    bool raised() const { return raised_; }
    std::string_view event() const { return event_; }

private:
    std::string_view event_;
    AlarmTiming timing_;
    double fps_;
    std::optional<int64_t> start_;  // of the current run of defects
    int64_t lastDefect_ = 0;
    bool raised_ = false;
};

// What turns the rows of a channel into alarm changes.
class AlarmRules {
public:
    virtual ~AlarmRules() = default;
    virtual void feed(int64_t frame, const Results& values, std::vector<AlarmChange>& changes) = 0;
    // The event types these rules watch, for metrics made up front.
    virtual std::vector<std::string_view> events() const = 0;
};

// The event rules of file runs (black, freeze, ...), for the indicators of `mask`.
std::unique_ptr<AlarmRules> makeEventAlarmRules(const AlarmSettings& settings, uint32_t mask, double fps);
