#include "analysis/events.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

#include "detectors/judged_detections.h"
#include "indicators/registry.h"

namespace {

const IndicatorDescriptor& entry(int i) { return indicatorRegistry()[static_cast<std::size_t>(i)]; }

// Every source of events, whatever the run measures: the indicators' event types in
// registry order, each marked by its detector when one finds it, then the detectors'
// types that no indicator names.
const std::vector<EventSource>& allSources() {
    static const std::vector<EventSource> all = [] {
        std::vector<EventSource> sources;
        std::vector<bool> placed(kDetectionCount, false);
        const auto detectionOf = [](std::string_view type) -> std::optional<Detection> {
            for (int d = 0; d < kDetectionCount; ++d)
                if (type == kDetectionTypes[static_cast<std::size_t>(d)].type) return static_cast<Detection>(d);
            return std::nullopt;
        };
        for (int i = 0; i < kIndicatorCount; ++i) {
            const EventSpec& spec = entry(i).event;
            if (spec.type == nullptr) continue;
            EventSource s;
            s.type = sources.size();
            s.indicator = i;
            s.framesPerValue = spec.framesPerValue;
            // A detector of the type marks its rows; flicker's rows of an older run go by its evidence.
            s.detection = detectionOf(spec.type);
            if (s.detection) placed[static_cast<std::size_t>(*s.detection)] = true;
            sources.push_back(s);
        }
        for (int d = 0; d < kDetectionCount; ++d) {
            if (placed[static_cast<std::size_t>(d)]) continue;
            EventSource s;
            s.type = sources.size();
            s.detection = static_cast<Detection>(d);
            sources.push_back(s);
        }
        return sources;
    }();
    return all;
}

}  // namespace

std::string_view EventSource::name() const {
    if (detection) return kDetectionTypes[static_cast<std::size_t>(*detection)].type;
    return entry(indicator).event.type;
}

bool EventSource::speaks(const Results& values) const {
    if (detection && values.detections.judges(*detection)) return true;
    return indicator >= 0 && meaningfulValue(values, indicator).has_value();
}

bool EventSource::marks(const Results& values, const EventOptions& options) const {
    if (detection && values.detections.judges(*detection))
        return values.detections.has(*detection) &&
               (detection != Detection::Flicker || values.detections.flickerRate > options.flickerThreshold);
    const std::optional<double> value = meaningfulValue(values, indicator);
    const EventSpec& spec = entry(indicator).event;
    if (!value) return false;
    // A row its detector did not judge (an older run's): the indicator's flag, unless the
    // flag of the type it gives way to is up on the frame.
    if (detection && spec.rule == EventRule::Detected)
        return *value > 0 && !(except >= 0 && meaningfulValue(values, except).value_or(0) > 0);
    if (spec.rule == EventRule::AboveBound) return *value > spec.bound;
    if (spec.rule != EventRule::AboveLimit) return false;
    if (!spec.evidenceKey) return *value > options.flickerThreshold;
    // Evidence the rule needs and the row lacks (rows of an older run) marks nothing.
    const std::optional<double> evidence = values.evidenceOf(indicator);
    return evidence && *evidence > options.flickerThreshold;
}

int64_t EventSource::startOf(int64_t frame, const Results& values, int64_t first) const {
    if (detection && values.detections.judges(*detection)) {
        const int64_t since = detection == Detection::Freeze    ? values.detections.freezeStart
                              : detection == Detection::Flicker ? values.detections.flickerStart
                                                                : -1;
        return since >= 0 ? std::max(first, std::min(frame, since)) : frame;
    }
    // A value over its bound tells where the run that took it there began (a flash sequence's first flash).
    if (indicator >= 0 && entry(indicator).event.rule == EventRule::AboveBound)
        if (const auto began = values.evidenceOf(indicator))
            return std::max(first, std::min(frame, static_cast<int64_t>(*began)));
    return std::max(first, frame - framesPerValue + 1 - flagLead);
}

std::vector<EventSource> eventSources(uint32_t mask, double fps) {
    const uint32_t judged = judgedDetections(mask);
    std::vector<EventSource> found;
    for (EventSource s : allSources()) {
        const bool measured = s.detection ? (judged & Detections::bit(*s.detection)) != 0
                                          : isRequested(entry(s.indicator), mask);
        if (!measured) continue;
        if (s.indicator >= 0) {
            const EventSpec& spec = entry(s.indicator).event;
            if (spec.flagLeadFrames) s.flagLead = spec.flagLeadFrames(fps);
            if (spec.exceptDuring)
                for (int i = 0; i < kIndicatorCount; ++i)
                    if (entry(i).event.type && std::string_view(entry(i).event.type) == spec.exceptDuring &&
                        isRequested(entry(i), mask))
                        s.except = i;
        }
        found.push_back(s);
    }
    return found;
}

double EventOptions::minDurationOf(std::string_view type) const {
    const auto it = minDuration.find(type);
    return it == minDuration.end() ? 0.0 : it->second;
}

double EventOptions::recoveryOf(std::string_view type) const {
    const auto it = recovery.find(type);
    return it == recovery.end() ? 0.0 : it->second;
}

Severity EventOptions::severityOf(std::string_view type) const {
    const auto it = severity.find(type);
    if (it != severity.end()) return it->second;
    // A damaged or lost frame is a broken picture, whatever else is judged.
    // So is a sequence of flashes that the photosensitivity rule fails.
    return type == "damaged" || type == kDecodeErrorEvent || type == "flash" ? Severity::Error : Severity::Warning;
}

std::string Event::side() const {
    if (!bars) return "";
    if (type == "letterbox") return bars->top && bars->bottom ? "both" : bars->top ? "top" : "bottom";
    if (type == "pillarbox") return bars->left && bars->right ? "both" : bars->left ? "left" : "right";
    return "";
}

double secondsRoundedToNanoseconds(double seconds) { return std::round(seconds * 1e9) / 1e9; }

std::span<const std::string_view> eventTypes() {
    static const std::vector<std::string_view> types = [] {
        std::vector<std::string_view> all;
        for (const EventSource& s : allSources()) all.push_back(s.name());
        // Frames the decoder lost, which the run's end tells rather than its rows.
        all.push_back(kDecodeErrorEvent);
        all.push_back(kTransportEvent);
        return all;
    }();
    return types;
}

std::span<const std::string_view> rowEventTypes() {
    static const std::vector<std::string_view> types = [] {
        std::vector<std::string_view> marked;
        for (const EventSource& s : allSources()) marked.push_back(s.name());
        return marked;
    }();
    return types;
}

std::string optionName(std::string_view type) {
    std::string name(type);
    std::replace(name.begin(), name.end(), '_', '-');
    return name;
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
    for (const EventSource& source : eventSources(mask, fps)) tracks_.push_back(Track{source, std::nullopt, {}});
}

void EventDetector::feed(int64_t frame, const Results& values) {
    if (!firstFrame_) firstFrame_ = std::min(frame, origin_ >= 0 ? origin_ : frame);
    for (Track& track : tracks_) {
        // Between period ends there is no value; adjacency decides whether periods join.
        if (!track.source.speaks(values)) {
            if (track.source.framesPerValue == 1) track.close();
            continue;
        }
        if (!track.source.marks(values, options_)) {
            track.close();
            continue;
        }
        const int64_t start = track.source.startOf(frame, values, *firstFrame_);
        // A freeze of another picture is another freeze, even right after the one before.
        if (track.source.detection == Detection::Freeze && values.detections.judges(Detection::Freeze) && track.open &&
            track.open->start != start)
            track.close();
        track.extend({start, frame, values.detections});
    }
}

bool lastsLongEnough(const Event& event, const EventOptions& options) {
    return event.duration >= options.minDurationOf(event.type);
}

namespace {

// The event's times by the frames' presentation times; the last frame lasts as long as a
// frame at `fps`. Left as they are when the times are unknown.
void retime(Event& event, const std::function<double(int64_t)>& timeOf, double fps) {
    const double start = timeOf(event.startFrame);
    if (std::isnan(start)) return;
    double end = timeOf(event.endFrame + 1);
    if (std::isnan(end)) end = timeOf(event.endFrame) + 1 / fps;
    if (std::isnan(end)) return;
    event.startTime = start;
    event.endTime = end;
    event.duration = secondsRoundedToNanoseconds(end - start);
}

}  // namespace

std::vector<Event> EventDetector::events(const std::function<double(int64_t)>& timeOf) const {
    // Seconds without the defect between a run ending at `end` and one starting at `start`.
    const auto absent = [&](int64_t end, int64_t start) {
        const double seconds = timeOf ? secondsRoundedToNanoseconds(timeOf(start) - timeOf(end + 1))
                                      : std::numeric_limits<double>::quiet_NaN();
        return std::isnan(seconds) ? static_cast<double>(start - end - 1) / fps_ : seconds;
    };
    std::vector<std::pair<std::size_t, Span>> spans;
    for (const Track& track : tracks_) {
        const std::size_t type = track.source.type;
        std::vector<Span> all = track.closed;
        if (track.open) all.push_back(*track.open);
        // Runs apart by less than the type's recovery time are one event.
        const double recovery = options_.recoveryOf(track.source.name());
        std::optional<Span> joined;
        for (const Span& s : all) {
            if (joined && absent(joined->end, s.start) < recovery) {
                joined->end = std::max(joined->end, s.end);
                continue;
            }
            if (joined) spans.emplace_back(type, *joined);
            joined = s;
        }
        if (joined) spans.emplace_back(type, *joined);
    }
    std::stable_sort(spans.begin(), spans.end(), [](const auto& a, const auto& b) {
        return a.second.start != b.second.start ? a.second.start < b.second.start : a.first < b.first;
    });
    std::vector<Event> events;
    for (const auto& [type, span] : spans) {
        Event e;
        e.type = std::string(eventTypes()[type]);
        e.startFrame = span.start;
        e.endFrame = span.end;
        e.startTime = static_cast<double>(span.start) / fps_;
        e.endTime = static_cast<double>(span.end + 1) / fps_;
        e.duration = static_cast<double>(span.end - span.start + 1) / fps_;
        e.severity = options_.severityOf(e.type);
        if (e.type == "letterbox" || e.type == "pillarbox") e.bars = span.first.bars;
        if (e.type == "constant_colour" && span.first.level >= 0) e.level = span.first.level;
        if (e.type == "constant_colour" && span.first.cb >= 0)
            std::tie(e.cb, e.cr) = std::pair(span.first.cb, span.first.cr);
        if (timeOf) retime(e, timeOf, fps_);
        if (lastsLongEnough(e, options_)) events.push_back(std::move(e));
    }
    return events;
}
