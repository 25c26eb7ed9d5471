#include "output/summary_text.h"

#include <array>
#include <charconv>
#include <cstdio>

#include "indicators/registry.h"
#include "output/output_file.h"
#include "analysis/run_record.h"
#include "rows/text_format.h"

namespace {

std::string readable(double value) { return readableNumber(value); }

std::string padded(const std::string& text, std::size_t width, bool left) {
    if (text.size() >= width) return text;
    const std::string spaces(width - text.size(), ' ');
    return left ? text + spaces : spaces + text;
}

std::string cells(const std::array<std::string, 7>& row) {
    std::string line = padded(row[0], 18, true);
    for (std::size_t i = 1; i < row.size(); ++i) line += joined({" ", padded(row[i], 12, false)});
    return line + "\n";
}

}  // namespace

std::string summaryText(const RunRecord& record) {
    std::string out;
    // The verdict first: it is what a reader acts on.
    if (const auto verdict = record.verdict()) {
        out += joined({"Verdict: ", statusName(verdict->status),
                       verdict->profile.empty()
                           ? ""
                           : joined({" (profile ", verdict->profile, " ", verdict->profileVersion, ")"}),
                       "\n"});
        for (const VerdictFinding& f : verdict->findings)
            out += joined({"  ", severityName(f.severity), ": ", findingText(f), "\n"});
    }
    out += joined({"Summary of ", std::to_string(record.frames()), " frames\n"});
    out += cells({"indicator", "count", "min", "mean", "max", "p95", "worst frame"});
    const auto& registry = indicatorRegistry();
    for (int i = 0; i < kIndicatorCount; ++i) {
        if (!record.requested(i)) continue;
        const Statistics s = record.statistics(i);
        const char* name = registry[static_cast<std::size_t>(i)].name;
        if (s.count == 0) {
            out += cells({name, "0", "-", "-", "-", "-", "-"});
            continue;
        }
        out += cells({name, std::to_string(s.count), readable(s.min), readable(s.mean), readable(s.max),
                      readable(s.p95), std::to_string(s.worst.front().frame)});
    }
    const std::vector<Event> events = record.events();
    out += joined({"Events: ", std::to_string(events.size()), "\n"});
    for (const Event& e : events)
        out += joined({"  ", padded(e.type, 10, true), " frames ", std::to_string(e.startFrame), "-",
                       std::to_string(e.endFrame), ", ", readable(e.startTime), " s to ", readable(e.endTime),
                       " s (", readable(e.duration), " s)\n"});
    return out;
}

void writeSummary(OutputFile& out, const RunRecord& record) {
    out.append(summaryText(record));
    out.commit();
}
