// The parts of a run that the JSON and JSON Lines formats share, as JSON text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "indicators/results.h"
#include "analysis/events.h"
#include "analysis/qc_gate.h"
#include "rows/row_sink.h"

class RunRecord;

inline constexpr int kSchemaVersion = 1;

std::string inputJson(const RunInfo& info);
// The requested indicators by key, and the event options.
std::string settingsJson(const RunInfo& info, const EventOptions& options);
// The members of a frame object without braces: "frame", "time" and one key per indicator.
std::string frameMembers(int64_t frame, double fps, const Results& values);
// Per requested indicator key: its statistics.
std::string summaryJson(const RunRecord& record);
std::string eventsJson(const std::vector<Event>& events);
// The gate's verdict: status, profile and findings; null when nothing was judged.
std::string verdictJson(const std::optional<Verdict>& verdict);
// The run's counts; `damagedFrames`: frames the detectors found damaged.
std::string runJson(const RunInfo& info, const RunEnd& end, int64_t damagedFrames);
// `,"transport":{...}` for an MPEG transport stream and `,"audio":[...]` for an input with audio; empty for others.
std::string streamsJson(const RunEnd& end);
