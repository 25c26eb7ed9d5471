#include "batch/result_entry.h"

#include <algorithm>

#include "analysis/qc_gate.h"
#include "indicators/r103.h"
#include "indicators/registry.h"

using nlohmann::json;

namespace {

// Each finding as the program printed it: "black>0 (black.count = 1)".
std::vector<CatalogueFinding> findingsOf(const json& findings) {
    std::vector<CatalogueFinding> out;
    for (const json& f : findings) {
        VerdictFinding finding;
        finding.kind = f.at("kind").get<std::string>();
        finding.text = f.at("text").get<std::string>();
        if (f.at("name").is_string()) finding.name = f.at("name").get<std::string>();
        if (f.at("value").is_number()) finding.value = f.at("value").get<double>();
        out.push_back({f.at("severity").get<std::string>(), findingText(finding)});
    }
    return out;
}

}  // namespace

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
    for (const char* key : kR103ShareKeys)
        if (const auto found = e.worst.find(key); found != e.worst.end())
            e.worstR103 = std::max(e.worstR103.value_or(found->second.value), found->second.value);
    if (const auto verdict = doc.find("verdict"); verdict != doc.end() && verdict->is_object()) {
        e.status = verdict->at("status").get<std::string>();
        for (const json& f : verdict->at("findings")) (f.at("severity") == "error" ? e.errors : e.warnings) += 1;
        e.findings = findingsOf(verdict->at("findings"));
    }
    return e;
}
