#include "report/events.h"

#include <algorithm>
#include <array>

#include "indicators/registry.h"

namespace {

// What makes a frame part of an event.
enum class Rule {
    AboveZero,        // the frame's value is above zero (flags are 0 or 1)
    PeriodAboveLimit  // the value, given once per period, is above the flicker threshold
};

struct EventRule {
    std::string_view type;
    const char* indicatorKey;
    Rule rule;
};

// The one place outside the indicators that ties event types to them.
constexpr std::array<EventRule, 5> kRules = {{
    {"black", "blackout", Rule::AboveZero},
    {"freeze", "freezing", Rule::AboveZero},
    {"letterbox", "letterbox", Rule::AboveZero},
    {"pillarbox", "pillarbox", Rule::AboveZero},
    {"flicker", "flickering", Rule::PeriodAboveLimit},
}};

constexpr std::array<std::string_view, kRules.size()> kTypes = {kRules[0].type, kRules[1].type, kRules[2].type,
                                                                kRules[3].type, kRules[4].type};

// A periodic value covers the frames whose comparisons fed its period: the value
// of frame F covers F - 7 .. F.
constexpr int64_t kPeriodFrames = BLOCKSIZE;

}  // namespace

double EventOptions::minDurationOf(std::string_view type) const {
    const auto it = minDuration.find(type);
    return it == minDuration.end() ? 0.0 : it->second;
}

std::span<const std::string_view> eventTypes() { return kTypes; }

void EventDetector::Track::extend(Span span) {
    if (open && span.start <= open->end + 1) {
        open->end = std::max(open->end, span.end);
        return;
    }
    close();
    open = span;
}

void EventDetector::Track::close() {
    if (open) closed.push_back(*open);
    open.reset();
}

EventDetector::EventDetector(double fps, uint32_t mask, EventOptions options)
    : fps_(fps), options_(std::move(options)) {
    for (std::size_t t = 0; t < kRules.size(); ++t) {
        const std::optional<int> indicator = findIndicator(kRules[t].indicatorKey);
        if (indicator && isRequested(indicatorRegistry()[static_cast<std::size_t>(*indicator)], mask))
            tracks_.push_back(Track{t, *indicator, std::nullopt, {}});
    }
}

void EventDetector::feed(int64_t frame, const Results& values) {
    if (!firstFrame_) firstFrame_ = frame;
    for (Track& track : tracks_) {
        const std::optional<double> value = meaningfulValue(values, track.indicator);
        if (kRules[track.type].rule == Rule::AboveZero) {
            if (value && *value > 0)
                track.extend({frame, frame});
            else
                track.close();
        } else if (value) {
            // Between period ends there is no value; adjacency decides whether periods join.
            if (*value > options_.flickerThreshold)
                track.extend({std::max(*firstFrame_, frame - kPeriodFrames + 1), frame});
            else
                track.close();
        }
    }
}

std::vector<Event> EventDetector::events() const {
    std::vector<std::pair<std::size_t, Span>> spans;
    for (const Track& track : tracks_) {
        for (const Span& s : track.closed) spans.emplace_back(track.type, s);
        if (track.open) spans.emplace_back(track.type, *track.open);
    }
    std::stable_sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) {
        return a.second.start != b.second.start ? a.second.start < b.second.start : a.first < b.first;
    });
    std::vector<Event> events;
    for (const auto& [type, span] : spans) {
        Event e;
        e.type = std::string(kTypes[type]);
        e.startFrame = span.start;
        e.endFrame = span.end;
        e.startTime = static_cast<double>(span.start) / fps_;
        e.endTime = static_cast<double>(span.end + 1) / fps_;
        e.duration = static_cast<double>(span.end - span.start + 1) / fps_;
        if (e.duration >= options_.minDurationOf(e.type)) events.push_back(std::move(e));
    }
    return events;
}
