#include "output/junit_xml.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "analysis/run_record.h"
#include "output/output_file.h"
#include "rows/text_format.h"

namespace {

std::string xmlEscaped(std::string_view text) {
    std::string out;
    // The file says it is UTF-8: a path that is not would make it unreadable.
    for (char c : validUtf8(text)) {
        switch (c) {
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '&': out += "&amp;"; break;
            case '"': out += "&quot;"; break;
            default:
                // Control characters other than tab and newline are not allowed in XML 1.0.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')
                    out += "?";
                else
                    out += c;
        }
    }
    return out;
}

struct Case {
    std::string name;
    const VerdictFinding* finding = nullptr;  // none: it passed
    bool failed = false;                      // its finding fails the run
};

// CI servers split a class name at its dots into package and class: the input's file
// name with its dots as underscores stays one class ("broken_mp4"); the suite keeps the path.
std::string className(const std::string& path) {
    if (path == "-") return "standard_input";
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
    for (char& c : name)
        if (c == '.') c = '_';
    return name;
}

std::string caseXml(const Case& c, const std::string& suite) {
    std::string xml =
        "    <testcase classname=\"" + xmlEscaped(className(suite)) + "\" name=\"" + xmlEscaped(c.name) + "\"";
    if (c.finding == nullptr) return xml + "/>\n";
    const std::string message = findingText(*c.finding);
    xml += ">\n";
    if (c.failed)
        xml += "      <failure message=\"" + xmlEscaped(message) + "\" type=\"" + c.finding->kind + "\"/>\n";
    else
        xml += "      <system-out>warning: " + xmlEscaped(message) + "</system-out>\n";
    return xml + "    </testcase>\n";
}

}  // namespace

std::string junitTimestamp(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

std::string junitXml(const RunRecord& record, const std::optional<Verdict>& verdict, bool strict,
                     std::string_view timestamp) {
    std::vector<Case> cases;
    if (verdict && record.gate() != nullptr) {
        auto finding = [&verdict](std::string_view kind, std::string_view text) -> const VerdictFinding* {
            for (const VerdictFinding& f : verdict->findings)
                if (f.kind == kind && f.text == text) return &f;
            return nullptr;
        };
        for (const QcCondition& c : record.gate()->conditions())
            cases.push_back({c.text, finding("condition", c.text)});
        if (!verdict->profile.empty())
            for (std::string_view type : eventTypes())
                cases.push_back({std::string(type) + " events", finding("event", type)});
        const VerdictFinding* frames = nullptr;
        for (const VerdictFinding& f : verdict->findings)
            if (f.kind == "frames") frames = &f;
        cases.push_back({"frames measured", frames});
    }
    const std::string suite = record.info().path;
    int failures = 0;
    for (Case& c : cases) {
        c.failed = c.finding != nullptr && (c.finding->severity == Severity::Error || strict);
        failures += c.failed;
    }
    // Seconds with three decimals: the run's wall time, which CI servers show as the suite's.
    char seconds[32];
    const double time = record.runEnd() ? record.runEnd()->seconds : 0.0;
    std::snprintf(seconds, sizeof seconds, "%.3f", std::isfinite(time) && time > 0 ? time : 0.0);
    const std::string counts = "\" tests=\"" + std::to_string(cases.size()) + "\" failures=\"" +
                               std::to_string(failures) + "\" errors=\"0\" time=\"" + seconds + "\"";
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"frameprobe" + counts + ">\n";
    xml += "  <testsuite name=\"" + xmlEscaped(suite) + counts;
    if (!timestamp.empty()) xml += joined({" timestamp=\"", timestamp, "\""});
    xml += ">\n";
    for (const Case& c : cases) xml += caseXml(c, suite);
    return xml + "  </testsuite>\n</testsuites>\n";
}

void writeJunitFile(const std::string& path, const RunRecord& record, const std::optional<Verdict>& verdict,
                    bool strict) {
    // The run started as many seconds ago as it lasted (what follows it takes no time worth counting).
    const double seconds = record.runEnd() ? record.runEnd()->seconds : 0.0;
    const std::time_t started = std::time(nullptr) - (std::isfinite(seconds) ? static_cast<std::time_t>(seconds) : 0);
    // A named file takes its name only when whole, as every output does.
    OutputFile out = OutputFile::open(path);
    out.append(junitXml(record, verdict, strict, junitTimestamp(started)));
    out.close();
}
