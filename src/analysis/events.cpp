#include "analysis/events.h"

#include <algorithm>

#include "indicators/registry.h"

namespace {

// The indicators whose values mark events, in registry order.
std::vector<int> eventIndicators() {
    std::vector<int> found;
    for (int i = 0; i < kIndicatorCount; ++i)
        if (indicatorRegistry()[static_cast<std::size_t>(i)].event.type != nullptr) found.push_back(i);
    return found;
}

const std::vector<int>& eventIndicatorList() {
    static const std::vector<int> list = eventIndicators();
    return list;
}

const EventSpec& specOf(std::size_t type) {
    return indicatorRegistry()[static_cast<std::size_t>(eventIndicatorList()[type])].event;
}

}  // namespace

double EventOptions::minDurationOf(std::string_view type) const {
    const auto it = minDuration.find(type);
    return it == minDuration.end() ? 0.0 : it->second;
}

std::span<const std::string_view> eventTypes() {
    static const std::vector<std::string_view> types = [] {
        std::vector<std::string_view> all;
        for (int i : eventIndicatorList()) all.emplace_back(indicatorRegistry()[static_cast<std::size_t>(i)].event.type);
        return all;
    }();
    return types;
}

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

EventDetector::EventDetector(double fps, uint32_t mask, EventOptions options, int64_t origin)
    : fps_(fps), options_(std::move(options)), origin_(origin) {
    const std::vector<int>& indicators = eventIndicatorList();
    for (std::size_t t = 0; t < indicators.size(); ++t) {
        if (isRequested(indicatorRegistry()[static_cast<std::size_t>(indicators[t])], mask))
            tracks_.push_back(Track{t, indicators[t], std::nullopt, {}});
    }
}

void EventDetector::feed(int64_t frame, const Results& values) {
    if (!firstFrame_) firstFrame_ = std::min(frame, origin_ >= 0 ? origin_ : frame);
    for (Track& track : tracks_) {
        const std::optional<double> value = meaningfulValue(values, track.indicator);
        const EventSpec& spec = specOf(track.type);
        if (spec.rule == EventRule::AboveZero) {
            if (value && *value > 0)
                track.extend({frame, frame});
            else
                track.close();
        } else if (value) {
            // Between period ends there is no value; adjacency decides whether periods join.
            if (*value > options_.flickerThreshold)
                track.extend({std::max(*firstFrame_, frame - spec.framesPerValue + 1), frame});
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
        e.type = specOf(type).type;
        e.startFrame = span.start;
        e.endFrame = span.end;
        e.startTime = static_cast<double>(span.start) / fps_;
        e.endTime = static_cast<double>(span.end + 1) / fps_;
        e.duration = static_cast<double>(span.end - span.start + 1) / fps_;
        if (e.duration >= options_.minDurationOf(e.type)) events.push_back(std::move(e));
    }
    return events;
}
