#include "output/jsonl_sink.h"

#include "output/json_parts.h"
#include "analysis/run_record.h"
#include "rows/text_format.h"
#include "tools/version.h"

JsonlSink::JsonlSink(OutputFile& out, const RunRecord& record) : out_(out), record_(record) {}

void JsonlSink::line(const std::string& json) {
    out_.append(json + "\n");
    out_.commit();
}

void JsonlSink::begin(const RunInfo& info) {
    info_ = info;
    line("{\"type\":\"header\",\"schema_version\":" + std::to_string(kSchemaVersion) +
         ",\"frameprobe\":" + jsonString(kFrameprobeVersion) + ",\"input\":" + inputJson(info) +
         ",\"settings\":" + settingsJson(info, record_.eventOptions()) + "}");
    open_ = true;
}

void JsonlSink::row(int64_t frame, const Results& values) {
    line("{\"type\":\"frame\"," + frameMembers(frame, info_.fps, values) + "}");
}

void JsonlSink::end(const RunEnd& end) {
    open_ = false;
    line("{\"type\":\"summary\",\"summary\":" + summaryJson(record_) + ",\"events\":" +
         eventsJson(record_.events()) + ",\"run\":" + runJson(info_, end, record_.damagedFrames()) + streamsJson(end) +
         ",\"verdict\":" + verdictJson(end.interrupted ? std::nullopt : record_.verdict()) +
         ",\"interrupted\":" + (end.interrupted ? "true" : "false") + "}");
}

void JsonlSink::abandon(const std::string& reason) {
    if (!open_) return;
    open_ = false;
    line("{\"type\":\"error\",\"error\":{\"message\":" + jsonString(reason) + "}}");
}
