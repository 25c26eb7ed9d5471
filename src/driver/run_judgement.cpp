#include "driver/run_judgement.h"

#include <cstdio>

#include "analysis/profile_lookup.h"
#include "analysis/run_record.h"
#include "indicators/registry.h"
#include "output/junit_xml.h"
#include "process/exit_status.h"

RunJudgement prepareJudgement(const RunOptions& o) {
    RunJudgement j;
    std::vector<std::pair<std::string, std::string>> named;
    if (o.profile) {
        const Profile profile = resolveProfile(*o.profile);
        j.events = profile.events;
        j.gate.setProfile(profile.name, profile.version);
        for (const ProfileCondition& c : profile.conditions) {
            j.gate.add(c.expression, c.severity, "profile " + profile.name);
            named.emplace_back(j.gate.conditions().back().subject, "profile " + profile.name);
        }
        // A profile judges its events: their types are measured too.
        for (const auto* settings : {&profile.events.minDuration, &profile.events.recovery})
            for (const auto& entry : *settings) named.emplace_back(entry.first, "profile " + profile.name);
        for (const auto& entry : profile.events.severity) named.emplace_back(entry.first, "profile " + profile.name);
    }
    for (const std::string& text : o.failOn) {
        j.gate.add(text);
        named.emplace_back(j.gate.conditions().back().subject, "--fail-on " + text);
    }
    // Options given on the command line override the profile's values.
    for (const auto& [type, seconds] : o.minDuration) j.events.minDuration[type] = seconds;
    if (o.flickerThreshold) j.events.flickerThreshold = *o.flickerThreshold;
    // A format made of an indicator's values (QCTools' file of the pictures' signalstats).
    if (o.format->needs) named.emplace_back(o.format->needs, std::string("--format ") + o.format->name);
    if (o.maskAsGiven)
        j.measured.mask = o.mask & kLegacyIndicators;
    else
        j.measured = measuredIndicators(o.mask, named);
    return j;
}

int concludeJudgement(const RunOptions& o, const RunRecord& record) {
    const std::string shortfall = record.frameCounts().shortfall();
    if (!shortfall.empty()) fprintf(stderr, "frameprobe: %s\n", shortfall.c_str());
    const std::optional<Verdict> verdict = record.verdict();
    if (o.junit) writeJunitFile(*o.junit, record, verdict, o.strict);
    // Without the table, a closing line says what was judged.
    const std::string measured = std::to_string(record.frames()) + " frames of " +
                                 (o.input == "-" ? std::string("standard input") : o.input);
    if (!verdict) {
        if (o.verdictOnly)
            fprintf(stderr, "frameprobe: %s measured; no --profile or --fail-on judged them\n", measured.c_str());
        return 0;
    }
    printFindings(*verdict, "frameprobe");
    if (o.verdictOnly)
        fprintf(stderr, "frameprobe: QC %s: %s%s\n", statusName(verdict->status).data(), measured.c_str(),
                verdict->profile.empty() ? "" : (", profile " + verdict->profile).c_str());
    if (verdict->failed() || (verdict->status == VerdictStatus::Warn && o.strict)) return kQcFailure;
    return 0;
}

void printFindings(const Verdict& verdict, const char* program) {
    for (const VerdictFinding& f : verdict.findings)
        fprintf(stderr, "%s: QC %s: %s\n", program, f.severity == Severity::Error ? "failed" : "warning",
                findingText(f).c_str());
}
