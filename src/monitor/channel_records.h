// The records a channel writes (JSON Lines, one object a line, without its newline),
// each stamped with the wall-clock time: see docs/monitor.md for their fields.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "monitor/alarm_rules.h"

struct SourceInfo;

// "input", "connected": the input was opened, with what it is.
std::string connectedRecord(const std::string& channel, const std::string& input, const SourceInfo& info, double fps,
                            bool audio);
// "input", "lost" (a live input) or "ended" (a file or pipe), with the reason when reading failed.
std::string lostRecord(const std::string& channel, bool live, double streamTime,
                       const std::optional<std::string>& message);
// "sampling": from `frame` on, every `measureEvery`th frame is measured.
std::string samplingRecord(const std::string& channel, int64_t frame, double fps, int measureEvery);

// An alarm raised or cleared at stream frame `frame`, with its snapshot's path when one was written.
struct AlarmRecord {
    const AlarmChange& change;
    std::string severity;
    int64_t frame = 0;
    double fps = 25;
    std::string snapshot;
};
std::string alarmRecord(const std::string& channel, const AlarmRecord& alarm);

// What a channel did, up to the monitor's end.
struct ChannelTotals {
    double streamTime = 0;
    int64_t measured = 0, skipped = 0, reconnects = 0;
    const std::map<std::string, int64_t, std::less<>>& raised;  // alarms raised, by event type
    const std::set<std::string, std::less<>>& active;           // alarms still raised
};
// "stopped": the channel's last record, with why the monitor stopped.
std::string stoppedRecord(const std::string& channel, const char* reason, const ChannelTotals& totals);
