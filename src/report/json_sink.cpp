#include "report/json_sink.h"

#include "report/json_parts.h"
#include "report/run_record.h"
#include "report/text_format.h"
#include "report/version.h"

JsonSink::JsonSink(FILE* out, std::string name, const RunRecord& record)
    : out_(out, std::move(name)), record_(record) {}

void JsonSink::begin(const RunInfo& info) {
    info_ = info;
    firstFrame_ = true;
    out_.write("{\"schema_version\":" + std::to_string(kSchemaVersion) +
               ",\n\"frameprobe\":" + jsonString(kFrameprobeVersion) + ",\n\"input\":" + inputJson(info) +
               ",\n\"settings\":" + settingsJson(info, record_.eventOptions()) + ",\n\"frames\":[");
}

void JsonSink::row(int64_t frame, const Results& values) {
    out_.write((firstFrame_ ? "\n{" : ",\n{") + frameMembers(frame, info_.fps, values) + "}");
    firstFrame_ = false;
}

void JsonSink::end(const RunEnd& end) {
    out_.write("],\n\"summary\":" + summaryJson(record_) + ",\n\"events\":" + eventsJson(record_.events()) +
               ",\n\"run\":" + runJson(info_, end) + ",\n\"interrupted\":" + (end.interrupted ? "true" : "false") +
               "}\n");
    out_.flush();
}
