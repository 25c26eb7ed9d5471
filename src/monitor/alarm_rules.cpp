#include "monitor/alarm_rules.h"

#include <algorithm>

#include "analysis/events.h"
#include "indicators/registry.h"

AlarmTiming AlarmSettings::timingOf(std::string_view type) const {
    const auto it = timing.find(type);
    return it == timing.end() ? defaults : it->second;
}

std::string AlarmSettings::severityOf(std::string_view type) const {
    const auto it = severity.find(type);
    if (it != severity.end()) return it->second;
    // A channel without pictures or with black ones is off the air; the rest degrade it.
    return type == "no_signal" || type == "black" ? "critical" : "warning";
}

void AlarmTracker::feed(int64_t frame, std::optional<bool> defect, int64_t runStart, std::vector<AlarmChange>& changes) {
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
        const auto& registry = indicatorRegistry();
        for (int i = 0; i < kIndicatorCount; ++i) {
            const IndicatorDescriptor& d = registry[static_cast<std::size_t>(i)];
            if (d.event.type == nullptr || !isRequested(d, mask)) continue;
            tracks_.push_back({i, d.event, AlarmTracker(d.event.type, settings.timingOf(d.event.type), fps)});
        }
    }

    void feed(int64_t frame, const Results& values, std::vector<AlarmChange>& changes) override {
        if (!first_) first_ = frame;
        for (Track& t : tracks_) {
            const std::optional<double> value = meaningfulValue(values, t.indicator);
            if (t.spec.rule == EventRule::AboveZero) {
                t.tracker.feed(frame, value && *value > 0, frame, changes);
            } else if (value) {
                // A value stands for the frames of its period, ending at its own; the event
                // rule decides, with the evidence it weighs.
                t.tracker.feed(frame, marksEvent(values, t.indicator, limits_),
                               std::max(*first_, frame - t.spec.framesPerValue + 1), changes);
            }
        }
    }

    std::vector<std::string_view> events() const override {
        std::vector<std::string_view> names;
        for (const Track& t : tracks_) names.push_back(t.spec.type);
        return names;
    }

private:
    struct Track {
        int indicator;
        EventSpec spec;
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
