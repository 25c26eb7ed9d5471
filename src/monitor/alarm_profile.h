// The alarm settings of a monitor: the monitor's defaults, then a QC profile's event
// rules, then the times, severities and threshold given on its command line.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "analysis/events.h"
#include "monitor/alarm_rules.h"

// What the command line sets, by event type; each value overrides the profile's.
struct AlarmOverrides {
    std::map<std::string, double, std::less<>> detection;
    std::map<std::string, double, std::less<>> recovery;
    std::map<std::string, std::string, std::less<>> severity;
    std::optional<double> flickerThreshold;
};

// A profile's min_duration is the detection time; types and settings it leaves out keep
// the monitor's defaults.
AlarmSettings composeAlarmSettings(const EventOptions* profile, const AlarmOverrides& overrides);
