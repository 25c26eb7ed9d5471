#include "monitor/channel.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "indicators/registry.h"
#include "io/ffmpeg_module.h"
#include "io/open_source.h"
#include "monitor/live_source.h"
#include "monitor/record_log.h"
#include "monitor/webhook.h"
#include "run/run_step.h"
#include "report/png_writer.h"
#include "tools/frame_rate.h"

using Json = nlohmann::ordered_json;

namespace {

bool isUrl(const std::string& input) { return input.find("://") != std::string::npos; }

// A URL, or a file FFmpeg reads, opens as a live stream (with its audio level);
// Y4M files and pipes open as in file runs.
std::variant<std::unique_ptr<FrameSource>, std::string> openInput(const std::string& input, const MonitorOptions& o,
                                                                   const std::atomic<bool>& stop) {
    const LiveOpenOptions live{&stop, o.timeout};
    if (!isUrl(input)) {
        const OpenRequest request{input, std::nullopt, std::nullopt, -1};
        auto detected = detectInput(request);
        if (auto* error = std::get_if<std::string>(&detected)) return *error;
        if (std::get<DetectedInput>(detected).kind != InputKind::Container)
            return openSource(request, std::move(std::get<DetectedInput>(detected)));
    }
    auto module = ffmpegModule();
    if (auto* error = std::get_if<std::string>(&module)) return "Reading " + input + " needs FFmpeg's libraries, but " + *error;
    return std::get<const FfmpegModule*>(module)->openLive(input, live);
}

double dbfs(float peak) { return peak > 0 ? 20.0 * std::log10(double(peak)) : -std::numeric_limits<double>::infinity(); }

// The weight of a new value in a moving mean over about ten seconds of frames.
double meanWeight(double fps) { return 1.0 / std::max(1.0, 10.0 * fps); }

std::string fileTime() {
    std::string t = utcNow();  // 2026-01-31T12:00:00.250Z: no ':' in file names
    for (char& c : t)
        if (c == ':') c = '-';
    return t;
}

}  // namespace

// The rows of one connection: metrics, alarms and snapshots.
struct Channel::Sink final : RowSink {
    Channel& channel;
    LiveSource& live;
    double fps;
    std::vector<std::uint8_t> lastPicture;
    std::map<std::string, std::vector<std::uint8_t>, std::less<>> startPictures;  // by event type
    uint64_t width, height;
    std::vector<AlarmChange> changes;
    std::array<bool, kIndicatorCount> seen{};
    int64_t skippedBefore = 0;

    Sink(Channel& c, LiveSource& l, double f) : channel(c), live(l), fps(f) {
        width = live.info().width;
        height = live.info().height;
        if (channel.outputs_.snapshots) lastPicture.resize(width * height);
        changes.reserve(32);
    }
    void begin(const RunInfo&) override {}
    void end(const RunEnd&) override {}
    bool wantsPictures() const override { return !lastPicture.empty(); }
    void picture(int64_t, const Image& luma) override { std::copy_n(luma.data, lastPicture.size(), lastPicture.data()); }
    void row(int64_t frame, const Results& values) override;
    std::string snapshot(std::string_view event);
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
        Json r{{"type", "sampling"},         {"channel", channel.name()}, {"time", utcNow()},
               {"stream_time", double(origin.streamFrame) / fps}, {"frame", origin.streamFrame},
               {"measure_every", live.measureEvery()}};
        channel.record(r.dump());
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
            channel.alarm({AlarmChange::Cleared, "no_signal", origin.streamFrame, origin.streamFrame}, fps);
        }
    }
    for (const AlarmChange& change : changes) {
        if (change.kind == AlarmChange::Pending) {
            if (!lastPicture.empty()) startPictures[std::string(change.event)] = lastPicture;
            continue;
        }
        const std::string file = change.kind == AlarmChange::Raised ? snapshot(change.event) : std::string();
        std::lock_guard lock(channel.mutex_);
        channel.alarm(change, fps, file);
    }
}

// Writes the picture where the event began as a PNG; its path, or empty.
std::string Channel::Sink::snapshot(std::string_view event) {
    const auto it = startPictures.find(event);
    if (it == startPictures.end() || !channel.outputs_.snapshots) return {};
    namespace fs = std::filesystem;
    const fs::path path = fs::path(*channel.outputs_.snapshots) / (channel.name() + "-" + std::string(event) + "-" +
                                                                   fileTime() + ".png");
    const fs::path partial = path.string() + ".part";
    try {
        const std::string png = encodeGreyPng(makeImage(width, height, it->second.data()));
        {
            std::ofstream out(partial, std::ios::binary);
            out.write(png.data(), static_cast<std::streamsize>(png.size()));
            out.close();
            if (!out) throw std::runtime_error("cannot write " + partial.string());
        }
        fs::rename(partial, path);
        return path.string();
    } catch (const std::exception& e) {
        std::error_code ignored;
        fs::remove(partial, ignored);
        fprintf(stderr, "frameprobe: channel %s: no snapshot: %s\n", channel.name().c_str(), e.what());
        return {};
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
          events.push_back("silence");
          events.push_back(kLoudnessEvent);
          events.push_back(kTruePeakEvent);
          events.push_back("no_signal");
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
    const int64_t frame = event == "no_signal" ? change.startFrame : std::max<int64_t>(0, streamFrames_ - 1);
    Json r{{"type", "alarm"},
           {"channel", name()},
           {"event", event},
           {"state", raised ? "raised" : "cleared"},
           {"severity", options_.alarms.severityOf(event)},
           {"time", utcNow()},
           {"stream_time", double(frame) / fps},
           {"frame", frame},
           {"start_frame", change.startFrame},
           {"start_stream_time", double(change.startFrame) / fps}};
    if (!raised && event != "no_signal") {
        r["end_frame"] = change.endFrame;
        r["duration"] = double(change.endFrame - change.startFrame + 1) / fps;
    }
    if (!snapshot.empty()) r["snapshot"] = snapshot;
    const std::string text = r.dump();
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
    alarm({AlarmChange::Raised, "no_signal", streamFrames_, streamFrames_}, fps_);
}

void Channel::writeFinalRecord(const char* reason) {
    std::lock_guard lock(mutex_);
    Json raised = Json::object();
    for (const auto& [event, count] : raisedCount_) raised[event] = count;
    Json r{{"type", "stopped"},        {"channel", name()},          {"reason", reason},
           {"time", utcNow()},         {"stream_time", double(streamFrames_) / fps_},
           {"frames_measured", measured_}, {"frames_skipped", skipped_}, {"reconnects", reconnects_},
           {"alarms_raised", raised},  {"active", Json(std::vector<std::string>(active_.begin(), active_.end()))}};
    record(r.dump());
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
                if (event != "no_signal") alarm({AlarmChange::Cleared, event, streamFrames_, streamFrames_}, fps);
            rules_ = makeEventAlarmRules(options_.alarms, options_.mask, fps);
            silence_.emplace("silence", options_.alarms.timingOf("silence"), fps);
            loudness_.emplace(options_.alarms, options_.loudness, fps);
            transport_.clear();
            for (std::string_view check : kTsCheckNames)
                transport_.emplace_back(check, options_.alarms.timingOf(check), fps);
            rulesFps_ = fps;
        }
    }
    Json r{{"type", "input"},   {"channel", name()},          {"state", "connected"}, {"time", utcNow()},
           {"input", input_.url}, {"format", info.format},    {"width", info.width},  {"height", info.height},
           {"fps", fps},         {"audio", source->takeStreamStatus().hasAudio}};
    record(r.dump());

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
        Json lost{{"type", "input"}, {"channel", name()}, {"state", live ? "lost" : "ended"}, {"time", utcNow()},
                  {"stream_time", double(liveSource.streamFrames()) / fps}};
        if (outcome.failedFrame) {
            const std::string message = readFailure(outcome, input_.url);
            lost["message"] = message;
            fprintf(stderr, "frameprobe: channel %s: %s\n", name().c_str(), message.c_str());
        }
        record(lost.dump());
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
