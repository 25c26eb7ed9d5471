#include "monitor/alarm_profile.h"

namespace {

void apply(AlarmSettings& s, const std::map<std::string, double, std::less<>>& detection,
           const std::map<std::string, double, std::less<>>& recovery,
           const std::map<std::string, std::string, std::less<>>& severity) {
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
    for (const auto& [type, word] : severity) s.severity[type] = word;
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
