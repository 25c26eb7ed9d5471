#include "library/conversions.h"

#include <algorithm>
#include <tuple>
#include <cmath>

#include "indicators/registry.h"
#include "pipeline/thread_limit.h"

namespace frameprobe::detail {

EventOptions eventOptions(const EventSettings& settings) {
    EventOptions options;
    const auto types = eventTypes();
    for (const auto& [type, seconds] : settings.minDuration) {
        if (std::find(types.begin(), types.end(), type) == types.end())
            throw Error("no event type \"" + type + "\" for a minimum duration");
        if (!(seconds >= 0) || !std::isfinite(seconds))
            throw Error("the minimum duration of " + type + " events must be a number of seconds from 0");
        options.minDuration[type] = seconds;
    }
    if (!(settings.flickerThreshold >= 0) || !std::isfinite(settings.flickerThreshold))
        throw Error("the flicker threshold must be a number from 0");
    options.flickerThreshold = settings.flickerThreshold;
    return options;
}

void checkThreads(unsigned threads) {
    if (threads > kMaxThreads)
        throw Error("the thread count " + std::to_string(threads) + " is invalid: it must be 0 to " +
                    std::to_string(kMaxThreads));
}

FrameResult frameResult(int64_t frame, const Results& values, double fps) {
    FrameResult result;
    result.frame = frame;
    result.time = values.time.value_or(static_cast<double>(frame) / fps);
    result.values.resize(kIndicatorCount);
    for (int i = 0; i < kIndicatorCount; ++i) result.values[static_cast<std::size_t>(i)] = meaningfulValue(values, i);
    return result;
}

Summary summary(const RunRecord& record) {
    Summary result;
    result.frames = record.frames();
    for (int i = 0; i < kIndicatorCount; ++i) {
        if (!record.requested(i)) continue;
        const Statistics s = record.statistics(i);
        IndicatorSummary& out = result.indicators.emplace_back();
        out.key = indicatorRegistry()[static_cast<std::size_t>(i)].key;
        out.count = s.count;
        out.min = s.min;
        out.max = s.max;
        out.mean = s.mean;
        out.stdev = s.stdev;
        out.median = s.median;
        out.p5 = s.p5;
        out.p95 = s.p95;
        for (const ::FrameValue& w : s.worst) out.worst.push_back({w.frame, w.value});
    }
    return result;
}

std::vector<frameprobe::Event> events(const RunRecord& record) {
    std::vector<frameprobe::Event> result;
    for (const ::Event& e : record.events()) {
        frameprobe::Event out;
        out.type = e.type;
        out.startFrame = e.startFrame;
        out.endFrame = e.endFrame;
        out.startTime = e.startTime;
        out.endTime = e.endTime;
        out.duration = e.duration;
        out.severity = e.severity == ::Severity::Error ? frameprobe::Severity::Error : frameprobe::Severity::Warning;
        if (e.bars && e.type == "letterbox")
            std::tie(out.top, out.bottom) = std::pair(int(e.bars->top), int(e.bars->bottom));
        if (e.bars && e.type == "pillarbox")
            std::tie(out.left, out.right) = std::pair(int(e.bars->left), int(e.bars->right));
        out.level = e.level;
        out.side = e.side();
        out.check = e.check;
        out.errors = e.errors;
        result.push_back(std::move(out));
    }
    return result;
}

RunDescription description(const RunInfo& info) {
    RunDescription d;
    d.input = info.path;
    d.format = info.format;
    d.width = info.width;
    d.height = info.height;
    d.fps = info.fps;
    d.bitDepth = info.bitDepth;
    d.startFrame = info.startFrame;
    d.frameCount = info.frameCount;
    d.indicators = keysOf(info.mask);
    d.pixelFormat = info.picture.pixelFormat;
    d.planesConvertedTo = info.picture.convertedTo;
    d.chromaSubsampling = chromaSubsampling(info.picture);
    d.colorRange = info.picture.colorRange;
    d.colorMatrix = info.picture.colorMatrix;
    d.colorTransfer = info.picture.colorTransfer;
    d.colorPrimaries = info.picture.colorPrimaries;
    if (info.timecode) d.timecode = StartTimecode{info.timecode->start, info.timecode->fps, info.timecode->dropFrame};
    d.threads = info.threads;
    return d;
}

}  // namespace frameprobe::detail
