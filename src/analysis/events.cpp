#include "analysis/events.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

double EventOptions::recoveryOf(std::string_view type) const {
    const auto it = recovery.find(type);
    return it == recovery.end() ? 0.0 : it->second;
}

std::string EventOptions::severityOf(std::string_view type) const {
    const auto it = severity.find(type);
    return it == severity.end() ? "warning" : it->second;
}

bool marksEvent(const Results& values, int indicator, const EventOptions& options) {
    const std::optional<double> value = meaningfulValue(values, indicator);
    const EventSpec& spec = indicatorRegistry()[static_cast<std::size_t>(indicator)].event;
    if (!value) return false;
    if (spec.rule == EventRule::AboveZero) return *value > 0;
    if (spec.rule != EventRule::AboveLimit) return false;
    if (!spec.evidenceKey) return *value > options.flickerThreshold;
    // Evidence the rule needs and the row lacks (rows of an older run) marks nothing.
    const std::optional<double> evidence = values.evidenceOf(indicator);
    return evidence && *evidence > options.flickerThreshold;
}

double wholeNanoseconds(double seconds) { return std::round(seconds * 1e9) / 1e9; }

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
        if (!isRequested(indicatorRegistry()[static_cast<std::size_t>(indicators[t])], mask)) continue;
        std::optional<int> except;
        if (const char* other = specOf(t).exceptDuring)
            for (std::size_t u = 0; u < indicators.size(); ++u)
                if (std::string_view(specOf(u).type) == other &&
                    isRequested(indicatorRegistry()[static_cast<std::size_t>(indicators[u])], mask))
                    except = indicators[u];
        tracks_.push_back(Track{t, indicators[t], except, std::nullopt, {}});
    }
}

void EventDetector::feed(int64_t frame, const Results& values) {
    if (!firstFrame_) firstFrame_ = std::min(frame, origin_ >= 0 ? origin_ : frame);
    for (Track& track : tracks_) {
        const std::optional<double> value = meaningfulValue(values, track.indicator);
        const EventSpec& spec = specOf(track.type);
        if (spec.rule == EventRule::AboveZero) {
            const bool excepted = track.except && meaningfulValue(values, *track.except).value_or(0) > 0;
            if (!marksEvent(values, track.indicator, options_) || excepted) {
                track.close();
            } else if (track.open) {
                track.open->end = frame;
            } else {
                // A new run: it reaches back over the frames that led to the mark, never
                // joining the run before it.
                const int64_t lead = spec.leadFrames ? spec.leadFrames(fps_) : 0;
                track.open = Span{std::max(*firstFrame_, frame - lead), frame};
            }
        } else if (value) {
            // Between period ends there is no value; adjacency decides whether periods join.
            if (marksEvent(values, track.indicator, options_))
                track.extend({std::max(*firstFrame_, frame - spec.framesPerValue + 1), frame});
            else
                track.close();
        }
    }
}

bool lastsLongEnough(const Event& event, const EventOptions& options) {
    return event.duration >= options.minDurationOf(event.type);
}

std::vector<Event> EventDetector::events() const {
    std::vector<Event> events = eventsOfAnyLength();
    std::erase_if(events, [this](const Event& e) { return !lastsLongEnough(e, options_); });
    return events;
}

std::vector<Event> EventDetector::eventsOfAnyLength(const std::function<double(int64_t)>& timeOf) const {
    // Seconds without the defect between a run ending at `end` and one starting at `start`.
    const auto absent = [&](int64_t end, int64_t start) {
        const double seconds = timeOf ? wholeNanoseconds(timeOf(start) - timeOf(end + 1))
                                      : std::numeric_limits<double>::quiet_NaN();
        return std::isnan(seconds) ? static_cast<double>(start - end - 1) / fps_ : seconds;
    };
    std::vector<std::pair<std::size_t, Span>> spans;
    for (const Track& track : tracks_) {
        std::vector<Span> all = track.closed;
        if (track.open) all.push_back(*track.open);
        // Runs apart by less than the type's recovery time are one event.
        const double recovery = options_.recoveryOf(specOf(track.type).type);
        std::optional<Span> joined;
        for (const Span& s : all) {
            if (joined && absent(joined->end, s.start) < recovery) {
                joined->end = std::max(joined->end, s.end);
                continue;
            }
            if (joined) spans.emplace_back(track.type, *joined);
            joined = s;
        }
        if (joined) spans.emplace_back(track.type, *joined);
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
        e.severity = options_.severityOf(e.type);
        events.push_back(std::move(e));
    }
    return events;
}
