#include "batch/result_entry.h"

#include "indicators/registry.h"

using nlohmann::json;

CatalogueEntry entryOfResult(const json& doc) {
    CatalogueEntry e;
    const json& input = doc.at("input");
    e.input = input.at("path").get<std::string>();
    e.width = input.at("width").get<int>();
    e.height = input.at("height").get<int>();
    e.frames = doc.at("run").at("frames").get<int64_t>();
    if (input.at("fps").is_number() && input.at("fps").get<double>() > 0)
        e.seconds = static_cast<double>(e.frames) / input.at("fps").get<double>();
    e.interrupted = doc.value("interrupted", false);
    for (const json& event : doc.at("events")) ++e.events[event.at("type").get<std::string>()];
    if (const auto summary = doc.find("summary"); summary != doc.end() && summary->is_object())
        for (const IndicatorDescriptor& d : indicatorRegistry()) {
            const auto found = summary->find(d.key);
            if (found == summary->end() || !found->contains("worst") || found->at("worst").empty()) continue;
            const json& worst = found->at("worst").at(0);
            e.worst[d.key] = WorstValue{worst.at("value").get<double>(), worst.at("frame").get<int64_t>()};
        }
    if (const auto verdict = doc.find("verdict"); verdict != doc.end() && verdict->is_object()) {
        e.status = verdict->at("status").get<std::string>();
        for (const json& f : verdict->at("findings")) (f.at("severity") == "error" ? e.errors : e.warnings) += 1;
    }
    return e;
}
