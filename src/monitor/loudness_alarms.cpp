#include "monitor/loudness_alarms.h"

#include <optional>

LoudnessAlarms::LoudnessAlarms(const AlarmSettings& settings, const LoudnessLimits& limits, double fps)
    : limits_(limits),
      loudness_(kLoudnessEvent, settings.timingOf(kLoudnessEvent), fps),
      truePeak_(kTruePeakEvent, settings.timingOf(kTruePeakEvent), fps) {}

void LoudnessAlarms::feed(int64_t frame, const StreamStatus& status, std::vector<AlarmChange>& changes) {
    // The range holds its ends. Without a short-term value (no audio yet, or a window of
    // digital silence, which the silence alarm reports) the frame says nothing either way.
    std::optional<bool> outside;
    if (status.shortTerm)
        outside = *status.shortTerm < limits_.target - limits_.tolerance ||
                  *status.shortTerm > limits_.target + limits_.tolerance;
    loudness_.feed(frame, outside, frame, changes);
    // The ceiling itself is allowed. Audio with no true peak is digital silence: below any ceiling.
    std::optional<bool> over;
    if (status.truePeak)
        over = *status.truePeak > limits_.truePeak;
    else if (status.audioSeconds > 0)
        over = false;
    truePeak_.feed(frame, over, frame, changes);
}
