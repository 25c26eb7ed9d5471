#include "monitor/channel.h"

#include <cmath>
#include <cstdio>
#include <thread>

#include "indicators/registry.h"
#include "monitor/alarm_snapshots.h"
#include "monitor/channel_records.h"
#include "monitor/live_source.h"
#include "monitor/record_log.h"
#include "monitor/webhook.h"
#include "run/run_input.h"
#include "run/run_step.h"
#include "tools/frame_rate.h"

namespace {

bool isUrl(const std::string& input) { return input.find("://") != std::string::npos; }

// A URL, or a file FFmpeg reads, opens as a live stream (with its audio level);
// Y4M files and pipes open as in file runs.
std::variant<std::unique_ptr<FrameSource>, std::string> openInput(const std::string& input, const MonitorOptions& o,
                                                                   const std::atomic<bool>& stop) {
    InputRequest request{input, std::nullopt, std::nullopt, -1};
    request.live = LiveOpenOptions{&stop, o.timeout};
    auto opened = openRunInput(request);
    if (auto* error = std::get_if<std::string>(&opened)) return *error;
    return std::move(std::get<OpenedInput>(opened).source);
}

double dbfs(float peak) {
    return peak > 0 ? 20.0 * std::log10(double(peak)) : -std::numeric_limits<double>::infinity();
}

// The weight of a new value in a moving mean over about ten seconds of frames.
double meanWeight(double fps) { return 1.0 / std::max(1.0, 10.0 * fps); }

}  // namespace

// The rows of one connection: metrics, alarms and snapshots.
struct Channel::Sink final : RowSink {
    Channel& channel;
    LiveSource& live;
    double fps;
    AlarmSnapshots snapshots;
    std::vector<AlarmChange> changes;
    std::array<bool, kIndicatorCount> seen{};
    int64_t skippedBefore = 0;

    Sink(Channel& c, LiveSource& l, double f)
        : channel(c), live(l), fps(f),
          snapshots(channel.outputs_.snapshots, channel.name(), live.info().width, live.info().height) {
        changes.reserve(32);
    }
    void begin(const RunInfo&) override {}
    void end(const RunEnd&) override {}
    bool wantsPictures() const override { return snapshots.wanted(); }
    void picture(int64_t, const Image& luma) override { snapshots.keep(luma); }
    void row(int64_t frame, const Results& values) override;
};

void Channel::Sink::row(int64_t frame, const Results& values) {
    const FrameOrigin& origin = live.origin(frame);
    ChannelMetrics& m = channel.metrics_;
    m.measured->Increment();
    ++channel.measured_;
    const int64_t skipped = live.skipped();
    if (skipped != skippedBefore) {
        m.skipped->Increment(double(skipped - skippedBefore));
        channel.skipped_ += skipped - skippedBefore;
        skippedBefore = skipped;
    }
    if (m.measureEvery->Value() != live.measureEvery()) {
        m.measureEvery->Set(live.measureEvery());
        channel.record(samplingRecord(channel.name(), origin.streamFrame, fps, live.measureEvery()));
    }
    if (origin.status.decodeErrors > 0) m.decodeErrors->Increment(double(origin.status.decodeErrors));
    m.analysisFps->Set(live.analysisFps());
    const double weight = meanWeight(fps / live.measureEvery());
    for (int i = 0; i < kIndicatorCount; ++i) {
        prometheus::Gauge* value = m.value[static_cast<std::size_t>(i)];
        if (value == nullptr) continue;
        const std::optional<double> v = meaningfulValue(values, i);
        if (!v) continue;
        value->Set(*v);
        prometheus::Gauge& mean = *m.mean[static_cast<std::size_t>(i)];
        auto& first = seen[static_cast<std::size_t>(i)];
        mean.Set(first ? mean.Value() + weight * (*v - mean.Value()) : *v);
        first = true;
    }

    changes.clear();
    channel.rules_->feed(origin.streamFrame, values, changes);
    if (origin.status.hasAudio && origin.status.audioSeconds > 0) {
        const double level = dbfs(origin.status.audioPeak);
        m.audioPeak->Set(level);
        channel.silence_->feed(origin.streamFrame, level < channel.options_.silenceThreshold, origin.streamFrame,
                               changes);
    }
    if (origin.status.momentary) m.momentary->Set(*origin.status.momentary);
    if (origin.status.shortTerm) m.shortTerm->Set(*origin.status.shortTerm);
    if (origin.status.truePeak) m.truePeak->Set(*origin.status.truePeak);
    channel.loudness_->feed(origin.streamFrame, origin.status, changes);
    if (origin.status.transport)
        for (std::size_t i = 0; i < channel.transport_.size(); ++i) {
            if (static_cast<TsCheck>(i) == TsCheck::PcrAccuracyError) continue;
            const int64_t errors = origin.status.transportErrors[i];
            if (errors > 0) m.transportErrors[i]->Increment(double(errors));
            channel.transport_[i].feed(origin.streamFrame, errors > 0, origin.streamFrame, changes);
        }
    {
        std::lock_guard lock(channel.mutex_);
        channel.streamFrames_ = origin.streamFrame + 1;
        // Rows of pictures that came before the outage are still measured after it began:
        // only a picture that came since it was raised ends it.
        if (channel.noSignal_ && channel.lastPicture_.load() != channel.noSignalPicture_) {
            channel.noSignal_ = false;
            channel.alarm({AlarmChange::Cleared, kNoSignalAlarm, origin.streamFrame, origin.streamFrame}, fps);
        }
    }
    for (const AlarmChange& change : changes) {
        if (change.kind == AlarmChange::Pending) {
            snapshots.pending(change.event);
            continue;
        }
        const std::string file = change.kind == AlarmChange::Raised ? snapshots.write(change.event) : std::string();
        std::lock_guard lock(channel.mutex_);
        channel.alarm(change, fps, file);
    }
}

Channel::Channel(ChannelInput input, const MonitorOptions& options, ChannelOutputs outputs, MonitorMetrics& metrics,
                 const std::atomic<bool>& stop)
    : input_(std::move(input)),
      options_(options),
      outputs_(std::move(outputs)),
      metrics_([&]() -> ChannelMetrics& {
          std::vector<std::string_view> events =
              makeEventAlarmRules(options.alarms, options.mask, kDefaultFps)->events();
          events.insert(events.end(), kMonitorAlarms.begin(), kMonitorAlarms.end());
          for (std::string_view check : kTsCheckNames)
              if (check != nameOf(TsCheck::PcrAccuracyError)) events.push_back(check);
          return metrics.addChannel(input_.name, options.mask, events);
      }()),
      stop_(stop),
      lastPicture_(steadyNanosecondsNow()) {
    metrics_.audioPeak->Set(std::numeric_limits<double>::quiet_NaN());
}

Channel::~Channel() {
    if (thread_.joinable()) thread_.join();
}

void Channel::join() {
    if (thread_.joinable()) thread_.join();
}

void Channel::start() { thread_ = std::thread([this] { run(); }); }

void Channel::record(const std::string& json) { outputs_.log.write(json); }

// Writes an alarm record, posts it and counts it; the caller holds mutex_.
void Channel::alarm(const AlarmChange& change, double fps, const std::string& snapshot) {
    const bool raised = change.kind == AlarmChange::Raised;
    const std::string event(change.event);
    // no_signal is about the frames that did not come: it starts where the next one was due.
    const int64_t frame = event == kNoSignalAlarm ? change.startFrame : std::max<int64_t>(0, streamFrames_ - 1);
    const std::string text =
        alarmRecord(name(), AlarmRecord{change, options_.alarms.severityOf(event), frame, fps, snapshot});
    record(text);
    if (outputs_.webhook != nullptr) outputs_.webhook->post(text);
    if (raised) {
        active_.insert(event);
        ++raisedCount_[event];
        if (auto it = metrics_.raised.find(event); it != metrics_.raised.end()) it->second->Increment();
    } else {
        active_.erase(event);
    }
    if (auto it = metrics_.active.find(event); it != metrics_.active.end()) it->second->Set(raised ? 1 : 0);
}

void Channel::checkSignal() {
    const double silent = double(steadyNanosecondsNow() - lastPicture_.load()) / 1e9;
    std::lock_guard lock(mutex_);
    if (noSignal_ || silent < options_.noSignalAfter || finished_) return;
    noSignal_ = true;
    noSignalPicture_ = lastPicture_.load();
    alarm({AlarmChange::Raised, kNoSignalAlarm, streamFrames_, streamFrames_}, fps_);
}

void Channel::writeFinalRecord(const char* reason) {
    std::lock_guard lock(mutex_);
    record(stoppedRecord(name(), reason,
                         ChannelTotals{double(streamFrames_) / fps_, measured_, skipped_, reconnects_, raisedCount_,
                                       active_}));
}

// Opens the input and measures it until it ends, fails or the monitor stops;
// false when it could not be opened. `delivered` tells whether frames came.
bool Channel::connectAndMeasure(bool& delivered) {
    auto opened = openInput(input_.url, options_, stop_);
    if (auto* error = std::get_if<std::string>(&opened)) {
        if (!stop_) fprintf(stderr, "frameprobe: channel %s: %s\n", name().c_str(), error->c_str());
        return false;
    }
    std::unique_ptr<FrameSource> source = std::move(std::get<std::unique_ptr<FrameSource>>(opened));
    const SourceInfo& info = source->info();
    const double fps = info.fps.value_or(kDefaultFps);
    const bool live = isUrl(input_.url);
    {
        std::lock_guard lock(mutex_);
        fps_ = fps;
        // New rules for another frame rate; alarms they held are cleared first.
        if (!rules_ || rulesFps_ != fps) {
            for (const std::string& event : std::set<std::string, std::less<>>(active_))
                if (event != kNoSignalAlarm) alarm({AlarmChange::Cleared, event, streamFrames_, streamFrames_}, fps);
            rules_ = makeEventAlarmRules(options_.alarms, options_.mask, fps);
            silence_.emplace(kSilenceAlarm, options_.alarms.timingOf(kSilenceAlarm), fps);
            loudness_.emplace(options_.alarms, options_.loudness, fps);
            transport_.clear();
            for (std::string_view check : kTsCheckNames)
                transport_.emplace_back(check, options_.alarms.timingOf(check), fps);
            rulesFps_ = fps;
        }
    }
    record(connectedRecord(name(), input_.url, info, fps, source->takeStreamStatus().hasAudio));

    LiveSource liveSource(*source, fps, options_.realtime && !live, live || options_.realtime, streamFrames_,
                          lastPicture_);
    RunSettings settings;
    settings.path = input_.url;
    settings.mask = options_.mask;
    settings.fps = fps;
    settings.threads = options_.threads;
    RunStep step(settings, liveSource);
    Sink sink(*this, liveSource, fps);
    up_ = true;
    metrics_.up->Set(1);
    const EngineOutcome outcome = step.run(sink, &stop_).engine;
    up_ = false;
    metrics_.up->Set(0);
    delivered = outcome.rows > 0;
    if (!stop_) {
        std::optional<std::string> message;
        if (outcome.failedFrame) {
            message = readFailure(outcome, input_.url);
            fprintf(stderr, "frameprobe: channel %s: %s\n", name().c_str(), message->c_str());
        }
        record(lostRecord(name(), live, double(liveSource.streamFrames()) / fps, message));
    }
    return true;
}

void Channel::run() {
    const bool live = isUrl(input_.url);
    double delay = options_.reconnectMin;
    bool first = true;
    while (!stop_) {
        if (!first) {
            ++reconnects_;
            metrics_.reconnects->Increment();
        }
        first = false;
        bool delivered = false;
        bool opened = false;
        try {
            opened = connectAndMeasure(delivered);
        } catch (const std::exception& e) {
            fprintf(stderr, "frameprobe: channel %s: %s\n", name().c_str(), e.what());
        }
        // Files and pipes are watched once; live inputs are opened again after growing delays.
        if (stop_ || !live) {
            failed_ = !opened && !stop_;
            break;
        }
        if (delivered) delay = options_.reconnectMin;
        if (!stop_) fprintf(stderr, "frameprobe: channel %s: opening %s again in %.1f s\n", name().c_str(),
                            input_.url.c_str(), delay);
        const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(delay);
        while (!stop_ && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        delay = std::min(delay * 2, options_.reconnectMax);
    }
    finished_ = true;
}
