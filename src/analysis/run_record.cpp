#include "analysis/run_record.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "detectors/transport_detector.h"
#include "indicators/registry.h"
#include "tools/frame_rate.h"

RunRecord::RunRecord(EventOptions options) : options_(options), detector_(kDefaultFps, 0, std::move(options)) {}

void RunRecord::begin(const RunInfo& info) {
    info_ = info;
    detector_ = EventDetector(info.fps, info.mask, options_, info.origin);
    frames_.clear();
    times_.clear();
    values_.clear();
    frameCount_ = 0;
    damagedFrames_ = 0;
    firstFrame_.reset();
    end_.reset();
}

void RunRecord::row(int64_t frame, const Results& values) {
    ++frameCount_;
    if (values.detections.has(Detection::Damaged)) ++damagedFrames_;
    detector_.feed(frame, values);
    if (!firstFrame_) firstFrame_ = frame;
    if (values.time && (keepRows_ || keepTimes_)) {
        times_.resize(static_cast<std::size_t>(frameCount_), std::numeric_limits<double>::quiet_NaN());
        times_.back() = *values.time;
    }
    if (!keepRows_) return;
    frames_.push_back(frame);
    for (int i = 0; i < kIndicatorCount; ++i)
        values_.push_back(meaningfulValue(values, i).value_or(std::numeric_limits<double>::quiet_NaN()));
}

void RunRecord::end(const RunEnd& end) { end_ = end; }

bool RunRecord::requested(int indicator) const {
    return isRequested(indicatorRegistry()[static_cast<std::size_t>(indicator)], info_.mask);
}

Statistics RunRecord::statistics(int indicator) const {
    std::vector<FrameValue> present;
    if (requested(indicator)) {
        for (std::size_t f = 0; f < frames_.size(); ++f) {
            const double v = values_[f * kIndicatorCount + static_cast<std::size_t>(indicator)];
            if (!std::isnan(v)) present.push_back({frames_[f], v});
        }
    }
    return computeStatistics(present, indicatorRegistry()[static_cast<std::size_t>(indicator)].worse);
}

double RunRecord::timeOf(int64_t frame) const {
    // Frames are recorded in order, one apart, from the first.
    const auto at = static_cast<std::size_t>(frame - firstFrame_.value_or(frame + 1));
    return at < times_.size() ? times_[at] : std::numeric_limits<double>::quiet_NaN();
}

std::vector<Event> RunRecord::events() const {
    std::function<double(int64_t)> times;
    if (!times_.empty()) times = [this](int64_t frame) { return timeOf(frame); };
    std::vector<Event> events = detector_.events(times);
    if (!end_) return events;
    if (end_->transport)
        for (const TransportSpan& span : transportSpans(end_->transport->occurrences)) {
            Event event;
            event.type = kTransportEvent;
            event.check = std::string(nameOf(span.check));
            event.errors = span.count;
            event.startFrame = span.first;
            event.endFrame = span.last;
            const double start = timeOf(span.first), end = timeOf(span.last + 1);
            event.startTime = std::isnan(start) ? static_cast<double>(span.first) / info_.fps : start;
            event.endTime =
                std::isnan(end) ? event.startTime + static_cast<double>(span.last - span.first + 1) / info_.fps : end;
            event.duration = secondsRoundedToNanoseconds(event.endTime - event.startTime);
            event.severity = options_.severityOf(event.type);
            events.push_back(event);
        }
    // A decode error stands just before the first frame after the break: it ends
    // when that frame is shown and lasts as long as the frames lost would have.
    for (const DecodeError& e : end_->decodeErrors) {
        Event event;
        event.type = kDecodeErrorEvent;
        event.startFrame = event.endFrame = e.frame;
        event.endTime = e.time.value_or(static_cast<double>(e.frame) / info_.fps);
        event.duration = static_cast<double>(e.frames) / info_.fps;
        event.startTime = std::max(0.0, secondsRoundedToNanoseconds(event.endTime - event.duration));
        event.severity = options_.severityOf(event.type);
        events.push_back(event);
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const Event& a, const Event& b) { return a.startFrame < b.startFrame; });
    return events;
}

FrameCounts RunRecord::frameCounts() const {
    const int64_t rows = frames();
    return {info_.frameCount, measuredFrames(rows, info_, end_ ? end_->inputFrames : std::nullopt)};
}

std::optional<Verdict> RunRecord::verdict() const {
    if (gate_ == nullptr || gate_->empty()) return std::nullopt;
    return gate_->verdict(*this, frameCounts());
}
