#include "output/json_sink.h"

#include "output/json_parts.h"
#include "analysis/run_record.h"
#include "rows/text_format.h"
#include "tools/version.h"

JsonSink::JsonSink(OutputFile& out, const RunRecord& record) : out_(out), record_(record) {}

void JsonSink::begin(const RunInfo& info) {
    info_ = info;
    firstFrame_ = true;
    out_.append("{\"schema_version\":" + std::to_string(kSchemaVersion) +
               ",\n\"frameprobe\":" + jsonString(kFrameprobeVersion) + ",\n\"input\":" + inputJson(info) +
               ",\n\"settings\":" + settingsJson(info, record_.eventOptions()) + ",\n\"frames\":[");
    out_.commit();
    open_ = true;
}

void JsonSink::row(int64_t frame, const Results& values) {
    out_.append((firstFrame_ ? "\n{" : ",\n{") + frameMembers(frame, info_.fps, values) + "}");
    firstFrame_ = false;
    out_.commit();
}

void JsonSink::end(const RunEnd& end) {
    out_.append("],\n\"summary\":" + summaryJson(record_) + ",\n\"events\":" + eventsJson(record_.events()) +
               ",\n\"run\":" + runJson(info_, end, record_.damagedFrames()) + streamsJson(end) +
               ",\n\"verdict\":" + verdictJson(end.interrupted ? std::nullopt : record_.verdict()) +
               ",\n\"interrupted\":" + (end.interrupted ? "true" : "false") + "}\n");
    out_.commit();
    open_ = false;
}

void JsonSink::abandon(const std::string& reason) {
    if (!open_) return;
    open_ = false;
    out_.append("],\n\"error\":{\"message\":" + jsonString(reason) + "}}\n");
    out_.commit();
}
