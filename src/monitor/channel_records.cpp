#include "monitor/channel_records.h"

#include <nlohmann/json.hpp>

#include <vector>

#include "io/frame_source.h"
#include "monitor/alarm_rules.h"
#include "monitor/record_log.h"

using Json = nlohmann::ordered_json;

std::string connectedRecord(const std::string& channel, const std::string& input, const SourceInfo& info, double fps,
                            bool audio) {
    Json r{{"type", "input"},   {"channel", channel},      {"state", "connected"}, {"time", utcNow()},
           {"input", input},    {"format", info.format},   {"width", info.width},  {"height", info.height},
           {"fps", fps},        {"audio", audio}};
    return r.dump();
}

std::string lostRecord(const std::string& channel, bool live, double streamTime,
                       const std::optional<std::string>& message) {
    Json r{{"type", "input"}, {"channel", channel}, {"state", live ? "lost" : "ended"}, {"time", utcNow()},
           {"stream_time", streamTime}};
    if (message) r["message"] = *message;
    return r.dump();
}

std::string samplingRecord(const std::string& channel, int64_t frame, double fps, int measureEvery) {
    Json r{{"type", "sampling"},         {"channel", channel}, {"time", utcNow()},
           {"stream_time", double(frame) / fps}, {"frame", frame},
           {"measure_every", measureEvery}};
    return r.dump();
}

std::string alarmRecord(const std::string& channel, const AlarmRecord& a) {
    const bool raised = a.change.kind == AlarmChange::Raised;
    const std::string event(a.change.event);
    Json r{{"type", "alarm"},
           {"channel", channel},
           {"event", event},
           {"state", raised ? "raised" : "cleared"},
           {"severity", a.severity},
           {"time", utcNow()},
           {"stream_time", double(a.frame) / a.fps},
           {"frame", a.frame},
           {"start_frame", a.change.startFrame},
           {"start_stream_time", double(a.change.startFrame) / a.fps}};
    // no_signal is about frames that did not come: it has no last frame of its own.
    if (!raised && event != kNoSignalAlarm) {
        r["end_frame"] = a.change.endFrame;
        r["duration"] = double(a.change.endFrame - a.change.startFrame + 1) / a.fps;
    }
    if (!a.snapshot.empty()) r["snapshot"] = a.snapshot;
    return r.dump();
}

std::string stoppedRecord(const std::string& channel, const char* reason, const ChannelTotals& t) {
    Json raised = Json::object();
    for (const auto& [event, count] : t.raised) raised[event] = count;
    Json r{{"type", "stopped"},        {"channel", channel},          {"reason", reason},
           {"time", utcNow()},         {"stream_time", t.streamTime},
           {"frames_measured", t.measured}, {"frames_skipped", t.skipped}, {"reconnects", t.reconnects},
           {"alarms_raised", raised},  {"active", Json(std::vector<std::string>(t.active.begin(), t.active.end()))}};
    return r.dump();
}
