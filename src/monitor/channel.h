// One watched input on a thread of its own: it opens the input (again, after
// growing delays, when it is lost), measures its frames, and turns them into
// alarm records, metrics and snapshots.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "monitor/alarm_rules.h"
#include "monitor/loudness_alarms.h"
#include "monitor/metrics.h"
#include "monitor/monitor_options.h"
#include "tools/frame_rate.h"

class RecordLog;
class Webhook;

// What a channel writes to: shared by every channel, each safe to use from any thread.
struct ChannelOutputs {
    RecordLog& log;
    Webhook* webhook = nullptr;             // none without --webhook
    std::optional<std::string> snapshots;   // folder
};

class Channel {
public:
    Channel(ChannelInput input, const MonitorOptions& options, ChannelOutputs outputs, MonitorMetrics& metrics,
            const std::atomic<bool>& stop);
    ~Channel();  // joins the thread; the stop flag must be set, or the input finished
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    void start();
    void join();
    const std::string& name() const { return input_.name; }
    bool up() const { return up_.load(); }
    bool finished() const { return finished_.load(); }
    // A file or pipe that could not be opened.
    bool failed() const { return failed_.load(); }
    // Called by the monitor a few times a second: raises no_signal when pictures stopped.
    void checkSignal();
    // The channel's last record, written when the monitor stops.
    void writeFinalRecord(const char* reason);

    struct Sink;

private:
    void run();
    bool connectAndMeasure(bool& delivered);
    void record(const std::string& json);
    void alarm(const AlarmChange& change, double fps, const std::string& snapshot = {});

    ChannelInput input_;
    const MonitorOptions& options_;
    ChannelOutputs outputs_;
    ChannelMetrics& metrics_;
    const std::atomic<bool>& stop_;
    std::unique_ptr<AlarmRules> rules_;
    double rulesFps_ = 0;
    std::optional<AlarmTracker> silence_;
    std::optional<LoudnessAlarms> loudness_;
    std::vector<AlarmTracker> transport_;  // one per transport check

    std::mutex mutex_;  // the alarm state below, shared with checkSignal()
    std::set<std::string, std::less<>> active_;
    std::map<std::string, int64_t, std::less<>> raisedCount_;
    bool noSignal_ = false;
    int64_t noSignalPicture_ = 0;  // when the last picture before no_signal came (lastPicture_)
    int64_t streamFrames_ = 0;  // over every connection
    double fps_ = kDefaultFps;

    std::atomic<int64_t> lastPicture_;
    std::atomic<bool> up_{false}, finished_{false}, failed_{false};
    int64_t measured_ = 0, skipped_ = 0, reconnects_ = 0;
    std::thread thread_;
};
