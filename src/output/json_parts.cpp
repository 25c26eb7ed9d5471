#include "output/json_parts.h"

#include <algorithm>
#include <cmath>

#include "indicators/registry.h"
#include "analysis/run_record.h"
#include "rows/text_format.h"

namespace {

// Builds an object or array by appending, one member at a time.
class Builder {
public:
    explicit Builder(char open) : close_(open == '{' ? '}' : ']') { text_ += open; }
    Builder& member(std::string_view key, std::string_view json) {
        separate();
        text_ += jsonString(key);
        text_ += ':';
        text_ += json;
        return *this;
    }
    Builder& element(std::string_view json) {
        separate();
        text_ += json;
        return *this;
    }
    std::string done() {
        text_ += close_;
        return std::move(text_);
    }

private:
    void separate() {
        if (text_.size() > 1) text_ += ',';
    }
    std::string text_;
    char close_;
};

std::string integer(int64_t value) { return std::to_string(value); }

std::string stringOrNull(const std::optional<std::string>& text) { return text ? jsonString(*text) : "null"; }

// Frame rates and times are finite in any sound run; null keeps the document valid otherwise.
std::string finiteOrNull(double value) { return jsonNumberOr(value); }

std::string statisticsJson(const Statistics& s) {
    Builder out('{');
    for (std::string_view name : kStatisticNames) out.member(name, jsonNumberOr(statistic(s, name)));
    Builder worst('[');
    for (const FrameValue& w : s.worst)
        worst.element(Builder('{').member("frame", integer(w.frame)).member("value", shortestNumber(w.value)).done());
    return out.member("worst", worst.done()).done();
}

}  // namespace

std::string inputJson(const RunInfo& info) {
    return Builder('{')
        .member("path", jsonString(info.path))
        .member("format", jsonString(info.format))
        .member("width", integer(info.width))
        .member("height", integer(info.height))
        .member("fps", finiteOrNull(info.fps))
        .member("bit_depth", integer(info.bitDepth))
        .member("pixel_format", info.picture.pixelFormat.empty() ? "null" : jsonString(info.picture.pixelFormat))
        .member("planes_converted_to",
                info.picture.convertedTo.empty() ? "null" : jsonString(info.picture.convertedTo))
        .member("chroma_subsampling", jsonString(chromaSubsampling(info.picture)))
        .member("color_range", stringOrNull(info.picture.colorRange))
        .member("color_matrix", stringOrNull(info.picture.colorMatrix))
        .member("color_transfer", stringOrNull(info.picture.colorTransfer))
        .member("color_primaries", stringOrNull(info.picture.colorPrimaries))
        .member("first_frame", integer(info.startFrame))
        .member("origin", integer(info.origin))
        .member("frame_count", info.frameCount ? integer(*info.frameCount) : "null")
        .member("run_frame_count", info.runFrameCount ? integer(*info.runFrameCount) : "null")
        .member("timecode", info.timecode ? Builder('{')
                                                .member("start", jsonString(info.timecode->start))
                                                .member("fps", integer(info.timecode->fps))
                                                .member("drop_frame", info.timecode->dropFrame ? "true" : "false")
                                                .done()
                                          : "null")
        .done();
}

std::string settingsJson(const RunInfo& info, const EventOptions& options) {
    Builder indicators('[');
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (isRequested(d, info.mask)) indicators.element(jsonString(d.key));
    Builder addedBy('{');
    for (const auto& [key, by] : info.addedBy) addedBy.member(key, jsonString(by));
    Builder minDuration('{'), recovery('{'), severity('{');
    for (std::string_view type : eventTypes()) {
        minDuration.member(type, finiteOrNull(options.minDurationOf(type)));
        recovery.member(type, finiteOrNull(options.recoveryOf(type)));
        severity.member(type, jsonString(severityName(options.severityOf(type))));
    }
    const std::string events = Builder('{')
                                   .member("min_duration", minDuration.done())
                                   .member("flicker_threshold", finiteOrNull(options.flickerThreshold))
                                   .member("recovery", recovery.done())
                                   .member("severity", severity.done())
                                   .done();
    return Builder('{')
        .member("indicators", indicators.done())
        .member("indicators_added_by", addedBy.done())
        .member("events", events)
        .done();
}

std::string frameMembers(int64_t frame, double fps, const Results& values) {
    Builder out('{');
    out.member("frame", integer(frame))
        .member("time", finiteOrNull(values.time.value_or(static_cast<double>(frame) / fps)));
    const auto& registry = indicatorRegistry();
    for (int i = 0; i < kIndicatorCount; ++i)
        out.member(registry[static_cast<std::size_t>(i)].key, jsonNumberOr(meaningfulValue(values, i)));
    // Evidence goes only on the frames that have it, so that a recorded run gives the same events.
    for (int i = 0; i < kIndicatorCount; ++i)
        if (const char* key = registry[static_cast<std::size_t>(i)].event.evidenceKey)
            if (const auto evidence = values.evidenceOf(i)) out.member(key, finiteOrNull(*evidence));
    // So do the detectors' findings.
    if (const Detections& d = values.detections; d.found != 0) {
        Builder found('{');
        for (int k = 0; k < kDetectionCount; ++k) {
            const auto which = static_cast<Detection>(k);
            if (!d.has(which)) continue;
            Builder details('{');
            if (which == Detection::Letterbox || which == Detection::Pillarbox)
                details.member("top", integer(d.bars.top))
                    .member("bottom", integer(d.bars.bottom))
                    .member("left", integer(d.bars.left))
                    .member("right", integer(d.bars.right));
            if (which == Detection::ConstantColour) details.member("level", integer(d.level));
            if (which == Detection::ConstantColour && d.cb >= 0)
                details.member("cb", integer(d.cb)).member("cr", integer(d.cr));
            if (which == Detection::Freeze) details.member("since", integer(d.freezeStart));
            if (which == Detection::Flicker)
                details.member("since", integer(d.flickerStart)).member("rate", shortestNumber(d.flickerRate));
            found.member(kDetectionTypes[static_cast<std::size_t>(k)].type, details.done());
        }
        out.member("detected", found.done());
    }
    // The picture's signalstats, on the frames of runs that measure them.
    if (values.signal) {
        Builder stats('{');
        for (int k = 0; k < kSignalStatCount; ++k)
            stats.member(kSignalStatNames[static_cast<std::size_t>(k)],
                         finiteOrNull(values.signal->values[static_cast<std::size_t>(k)]));
        out.member("signalstats", stats.done());
    }
    const std::string object = out.done();
    return object.substr(1, object.size() - 2);
}

std::string summaryJson(const RunRecord& record) {
    Builder out('{');
    const auto& registry = indicatorRegistry();
    for (int i = 0; i < kIndicatorCount; ++i)
        if (record.requested(i))
            out.member(registry[static_cast<std::size_t>(i)].key, statisticsJson(record.statistics(i)));
    return out.done();
}

std::string eventsJson(const std::vector<Event>& events) {
    Builder out('[');
    for (const Event& e : events) {
        Builder event('{');
        event.member("type", jsonString(e.type))
            .member("start_frame", integer(e.startFrame))
            .member("end_frame", integer(e.endFrame))
            .member("start_time", finiteOrNull(e.startTime))
            .member("end_time", finiteOrNull(e.endTime))
            .member("duration", finiteOrNull(e.duration))
            .member("severity", jsonString(severityName(e.severity)));
        // What the first frame showed: the bars' widths in pixels and their side, a flat level.
        if (e.bars && e.type == "letterbox")
            event.member("top", integer(e.bars->top))
                .member("bottom", integer(e.bars->bottom))
                .member("side", jsonString(e.side()));
        if (e.bars && e.type == "pillarbox")
            event.member("left", integer(e.bars->left))
                .member("right", integer(e.bars->right))
                .member("side", jsonString(e.side()));
        if (e.level) event.member("level", integer(*e.level));
        if (e.cb && e.cr) event.member("cb", integer(*e.cb)).member("cr", integer(*e.cr));
        if (!e.check.empty()) event.member("check", jsonString(e.check)).member("errors", integer(e.errors));
        out.element(event.done());
    }
    return out.done();
}

std::string verdictJson(const std::optional<Verdict>& verdict) {
    if (!verdict) return "null";
    Builder findings('[');
    for (const VerdictFinding& f : verdict->findings)
        findings.element(Builder('{')
                             .member("kind", jsonString(f.kind))
                             .member("text", jsonString(f.text))
                             .member("name", f.name.empty() ? "null" : jsonString(f.name))
                             .member("value", jsonNumberOr(f.value))
                             .member("severity", jsonString(severityName(f.severity)))
                             .member("source", jsonString(f.source))
                             .member("events", eventsJson(f.events))
                             .done());
    const std::string profile = verdict->profile.empty() ? "null"
                                                         : Builder('{')
                                                               .member("name", jsonString(verdict->profile))
                                                               .member("version", jsonString(verdict->profileVersion))
                                                               .done();
    return Builder('{')
        .member("status", jsonString(statusName(verdict->status)))
        .member("profile", profile)
        .member("findings", findings.done())
        .done();
}

std::string streamsJson(const RunEnd& end) {
    std::string out;
    if (end.transport) {
        Builder checks('{');
        for (int i = 0; i < kTsCheckCount; ++i) {
            const auto check = static_cast<TsCheck>(i);
            const bool measured = check != TsCheck::PcrAccuracyError || end.transport->pcrAccuracyMeasured;
            checks.member(nameOf(check), measured ? integer(end.transport->count(check)) : "null");
        }
        out += ",\"transport\":" +
               Builder('{').member("packets", integer(end.transport->packets)).member("checks", checks.done()).done();
    }
    if (!end.audio.empty()) {
        Builder audio('[');
        for (const AudioLoudness& a : end.audio)
            audio.element(
                Builder('{')
                    .member("stream", integer(a.stream))
                    .member("channels", integer(a.channels))
                    .member("sample_rate", integer(a.sampleRate))
                    .member("seconds", finiteOrNull(a.seconds))
                    .member("loudness", Builder('{')
                                            .member("integrated", a.integrated ? jsonNumberOr(*a.integrated) : "null")
                                            .member("range", a.range ? jsonNumberOr(*a.range) : "null")
                                            .member("true_peak", a.truePeak ? jsonNumberOr(*a.truePeak) : "null")
                                            .done())
                    .done());
        out += ",\"audio\":" + audio.done();
    }
    return out;
}

std::string runJson(const RunInfo& info, const RunEnd& end, int64_t damagedFrames) {
    const double rate = end.seconds > 0 ? static_cast<double>(end.frames) / end.seconds : NAN;
    return Builder('{')
        .member("threads", integer(info.threads))
        .member("frames", integer(end.frames))
        .member("frames_expected", info.frameCount ? integer(*info.frameCount) : "null")
        .member("frames_measured",
                integer(measuredFrames(end.frames, info, end.inputFrames)))
        .member("seconds", finiteOrNull(end.seconds))
        .member("fps", finiteOrNull(rate))
        .member("decode_errors", integer(framesLost(end.decodeErrors)))
        .member("damaged_frames", integer(damagedFrames))
        .done();
}
