// The loudness alarms of a live channel, on its first audio stream: `loudness` while the
// short-term loudness (EBU R128, the last 3 s) is outside the target range, `true_peak`
// while the true peak is above its ceiling.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "analysis/loudness_limits.h"
#include "io/frame_source.h"
#include "monitor/alarm_rules.h"


class LoudnessAlarms {
public:
    LoudnessAlarms(const AlarmSettings& settings, const LoudnessLimits& limits, double fps);
    // `status`: what the input measured since the previous measured frame.
    void feed(int64_t frame, const StreamStatus& status, std::vector<AlarmChange>& changes);

private:
    LoudnessLimits limits_;
    AlarmTracker loudness_, truePeak_;
};
