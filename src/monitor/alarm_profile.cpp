#include "monitor/alarm_profile.h"

namespace {

// An alarm's severity is a word of the operator's ("critical", "minor"); a profile's is one of its two.
std::string alarmWord(const std::string& word) { return word; }
std::string alarmWord(Severity severity) { return std::string(severityName(severity)); }

template <typename Level>
void apply(AlarmSettings& s, const std::map<std::string, double, std::less<>>& detection,
           const std::map<std::string, double, std::less<>>& recovery,
           const std::map<std::string, Level, std::less<>>& severity) {
    for (const auto& [type, seconds] : detection) {
        AlarmTiming t = s.timingOf(type);
        t.detection = seconds;
        s.timing[type] = t;
    }
    for (const auto& [type, seconds] : recovery) {
        AlarmTiming t = s.timingOf(type);
        t.recovery = seconds;
        s.timing[type] = t;
    }
    for (const auto& [type, level] : severity) s.severity[type] = alarmWord(level);
}

}  // namespace

AlarmSettings composeAlarmSettings(const EventOptions* profile, const AlarmOverrides& overrides) {
    AlarmSettings s;
    if (profile) {
        apply(s, profile->minDuration, profile->recovery, profile->severity);
        s.flickerThreshold = profile->flickerThreshold;
    }
    apply(s, overrides.detection, overrides.recovery, overrides.severity);
    if (overrides.flickerThreshold) s.flickerThreshold = *overrides.flickerThreshold;
    return s;
}
