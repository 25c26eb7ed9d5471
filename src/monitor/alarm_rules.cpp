#include "monitor/alarm_rules.h"

#include <algorithm>

#include "analysis/events.h"
#include "indicators/registry.h"
#include "monitor/loudness_alarms.h"
#include "transport/transport_report.h"

AlarmTiming defaultTiming(std::string_view type) {
    if (type == kLoudnessEvent) return {10, 1};
    if (type == kTruePeakEvent) return {0, 1};
    for (std::string_view check : kTsCheckNames)
        if (type == check) return {0, 1};
    return {2, 1};
}

AlarmTiming AlarmSettings::timingOf(std::string_view type) const {
    const auto it = timing.find(type);
    return it == timing.end() ? defaultTiming(type) : it->second;
}

std::string AlarmSettings::severityOf(std::string_view type) const {
    const auto it = severity.find(type);
    if (it != severity.end()) return it->second;
    // A channel without pictures or with black ones is off the air; the rest degrade it.
    return type == kNoSignalAlarm || type == "black" ? "critical" : "warning";
}

void AlarmTracker::feed(int64_t frame, std::optional<bool> defect, int64_t runStart,
                        std::vector<AlarmChange>& changes) {
    if (!defect) return;
    if (*defect) {
        if (!start_) {
            start_ = std::min(runStart, frame);
            changes.push_back({AlarmChange::Pending, event_, *start_, frame});
        }
        lastDefect_ = frame;
        // A run of frames start..frame lasts (frame - start + 1) frame times.
        if (!raised_ && double(frame - *start_ + 1) >= timing_.detection * fps_ - 1e-9) {
            raised_ = true;
            changes.push_back({AlarmChange::Raised, event_, *start_, frame});
        }
        return;
    }
    if (!raised_) {
        start_.reset();
        return;
    }
    // Clean since the end of the last defective frame: (frame - lastDefect) frame times.
    if (double(frame - lastDefect_) >= timing_.recovery * fps_ - 1e-9) {
        changes.push_back({AlarmChange::Cleared, event_, *start_, lastDefect_});
        raised_ = false;
        start_.reset();
    }
}

namespace {

class EventAlarmRules final : public AlarmRules {
public:
    EventAlarmRules(const AlarmSettings& settings, uint32_t mask, double fps) {
        limits_.flickerThreshold = settings.flickerThreshold;
        for (const EventSource& source : eventSources(mask, fps))
            tracks_.push_back({source, AlarmTracker(source.name(), settings.timingOf(source.name()), fps)});
    }

    void feed(int64_t frame, const Results& values, std::vector<AlarmChange>& changes) override {
        if (!first_) first_ = frame;
        // The same detectors and rules as a run's events: a value that stands for the frames
        // of its period speaks for them, ending at its own.
        for (Track& t : tracks_) {
            const bool speaks = t.source.speaks(values);
            if (!speaks && t.source.framesPerValue > 1) continue;
            const bool marked = speaks && t.source.marks(values, limits_);
            t.tracker.feed(frame, marked, marked ? t.source.startOf(frame, values, *first_) : frame, changes);
        }
    }

    std::vector<std::string_view> events() const override {
        std::vector<std::string_view> names;
        for (const Track& t : tracks_) names.push_back(t.source.name());
        return names;
    }

private:
    struct Track {
        EventSource source;
        AlarmTracker tracker;
    };
    EventOptions limits_;
    std::vector<Track> tracks_;
    std::optional<int64_t> first_;
};

}  // namespace

std::unique_ptr<AlarmRules> makeEventAlarmRules(const AlarmSettings& settings, uint32_t mask, double fps) {
    return std::make_unique<EventAlarmRules>(settings, mask, fps);
}
