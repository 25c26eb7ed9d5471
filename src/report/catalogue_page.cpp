#include "report/catalogue_page.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "indicators/registry.h"
#include "report/html_text.h"
#include "report/report_assets.h"
#include "rows/text_format.h"
#include "tools/version.h"

namespace {

int statusRank(const std::string& status) {
    return status == "fail" ? 0 : status == "warn" ? 1 : status == "pass" ? 2 : 3;
}

int eventCount(const CatalogueEntry& e) {
    int n = 0;
    for (const auto& [type, count] : e.events) n += count;
    return n;
}

std::vector<std::string> eventTypes(const std::vector<CatalogueEntry>& entries) {
    std::set<std::string> types;
    for (const CatalogueEntry& e : entries)
        for (const auto& [type, count] : e.events) types.insert(type);
    return {types.begin(), types.end()};
}

// An entry's worst value of the indicator where it means a defect: flags say no more than
// their events, content measures none by themselves, and an event type's indicator only
// once the run has events of that type (a black frame's letterbox is no letterbox).
const WorstValue* worstOf(const CatalogueEntry& e, const IndicatorDescriptor& d) {
    if (isFlag(d) || d.describesContent) return nullptr;
    if (d.event.type != nullptr && e.events.count(d.event.type) == 0) return nullptr;
    const auto found = e.worst.find(d.key);
    return found == e.worst.end() ? nullptr : &found->second;
}

// The indicators with a worst value in some entry, in registry order.
std::vector<const IndicatorDescriptor*> worstColumns(const std::vector<CatalogueEntry>& entries) {
    std::vector<const IndicatorDescriptor*> out;
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (std::any_of(entries.begin(), entries.end(),
                        [&](const CatalogueEntry& e) { return worstOf(e, d) != nullptr; }))
            out.push_back(&d);
    return out;
}

std::string findingsText(const CatalogueEntry& e) {
    std::string out;
    for (const CatalogueFinding& f : e.findings) out += joined({out.empty() ? "" : "; ", f.severity, ": ", f.text});
    return out;
}

// "black 2, freeze 1" after the total.
std::string eventsCell(const CatalogueEntry& e) {
    std::string out = std::to_string(eventCount(e));
    std::string types;
    for (const auto& [type, count] : e.events)
        types += joined({types.empty() ? "" : ", ", htmlEscaped(type), "&nbsp;", std::to_string(count)});
    return types.empty() ? out : joined({out, " <small>(", types, ")</small>"});
}

std::string findingsCell(const CatalogueEntry& e) {
    if (e.findings.empty()) return "";
    std::string out = "<ul class=\"findings\">";
    for (const CatalogueFinding& f : e.findings)
        out += joined({"<li class=\"severity-", htmlEscaped(f.severity), "\">", htmlEscaped(f.severity), ": <code>",
                       htmlEscaped(f.text), "</code></li>"});
    return out + "</ul>";
}

std::string countOf(const CatalogueEntry& e, const std::string& type) {
    const auto found = e.events.find(type);
    return std::to_string(found == e.events.end() ? 0 : found->second);
}

std::string statusWord(const CatalogueEntry& e) {
    if (e.interrupted) return "interrupted";
    return e.status.empty() ? "not judged" : e.status;
}

std::string seconds(const CatalogueEntry& e) { return e.seconds ? shortestNumber(*e.seconds) : ""; }

// A field quoted when it holds a separator, a quote or a line break.
std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string cell(const std::string& text, const std::string& sortValue, bool number) {
    return joined(
        {"<td", number ? " class=\"n\"" : "", " data-value=\"", htmlEscaped(sortValue), "\">", text, "</td>"});
}

std::string worstCell(const std::string& text, const std::string& sortValue) {
    return joined({"<td class=\"n worst\" data-value=\"", htmlEscaped(sortValue), "\">", text, "</td>"});
}

}  // namespace

void sortByFailures(std::vector<CatalogueEntry>& entries) {
    std::stable_sort(entries.begin(), entries.end(), [](const CatalogueEntry& a, const CatalogueEntry& b) {
        return std::make_tuple(statusRank(a.status), -a.errors, -a.warnings, -eventCount(a), a.result) <
               std::make_tuple(statusRank(b.status), -b.errors, -b.warnings, -eventCount(b), b.result);
    });
}

std::string catalogueCsv(const std::vector<CatalogueEntry>& entries) {
    const std::vector<std::string> types = eventTypes(entries);
    const std::vector<const IndicatorDescriptor*> worst = worstColumns(entries);
    std::string out = "result,input,verdict,errors,warnings,frames,seconds,width,height,events";
    for (const std::string& t : types) out += joined({",", csvField(t)});
    for (const IndicatorDescriptor* d : worst) out += joined({",worst_", d->key});
    out += ",report,findings\n";
    for (const CatalogueEntry& e : entries) {
        out += joined({csvField(e.result), ",", csvField(e.input), ",", statusWord(e), ",", std::to_string(e.errors),
                       ",", std::to_string(e.warnings), ",", std::to_string(e.frames), ",", seconds(e), ",",
                       std::to_string(e.width), ",", std::to_string(e.height), ",", std::to_string(eventCount(e))});
        for (const std::string& t : types) out += joined({",", countOf(e, t)});
        for (const IndicatorDescriptor* d : worst) {
            const WorstValue* w = worstOf(e, *d);
            out += joined({",", w ? shortestNumber(w->value) : ""});
        }
        out += joined({",", csvField(e.report), ",", csvField(findingsText(e)), "\n"});
    }
    return out;
}

std::string cataloguePage(const std::vector<CatalogueEntry>& entries) {
    const std::vector<const IndicatorDescriptor*> worst = worstColumns(entries);
    int failed = 0;
    for (const CatalogueEntry& e : entries) failed += e.status == "fail";
    std::string out = joined(
        {"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>frameprobe catalogue</title>\n"
         "<style>\n",
         kReportStyle, "\n", kCatalogueStyle, "</style>\n<script>\n", kReportErrorScript,
         "</script>\n</head>\n<body>\n"
         "<h1>frameprobe catalogue</h1>\n<p id=\"totals\">",
         std::to_string(entries.size()), " runs, ", std::to_string(failed),
         " failed &middot; <a download=\"catalogue.csv\" id=\"csv\" href=\"data:text/csv;base64,",
         base64(catalogueCsv(entries)),
         "\">CSV</a> &middot; <input id=\"filter\" type=\"search\" placeholder=\"filter\""
         " aria-label=\"filter the runs\">",
         worst.empty() ? ""
                       : " &middot; <label><input id=\"show-worst\" "
                         "type=\"checkbox\" checked> worst values</label>",
         "</p>\n<div class=\"wide fit\"><table id=\"catalogue\" "
         "data-worst=\"shown\">\n<thead><tr><th data-sort=\"text\">result</th>"
         "<th data-sort=\"text\">input</th><th data-sort=\"number\">verdict</th><th data-sort=\"number\">findings</th>"
         "<th data-sort=\"number\">duration</th><th data-sort=\"number\">size</th>"
         "<th data-sort=\"number\">events</th>"});
    for (const IndicatorDescriptor* d : worst) {
        const bool higher = d->worse == Worse::Higher;
        out += joined({"<th class=\"worst\" data-sort=\"number\" data-worse=\"", higher ? "higher" : "lower",
                       "\" title=\"the ", higher ? "highest" : "lowest", " value of ", htmlEscaped(d->key), "\">worst ",
                       htmlEscaped(d->name), "</th>"});
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const CatalogueEntry& e : entries) {
        const std::string name = htmlEscaped(e.result);
        const std::string status = statusWord(e);
        out +=
            joined({"<tr data-status=\"", htmlEscaped(status), "\">",
                    cell(e.report.empty() ? name : joined({"<a href=\"", htmlEscaped(e.report), "\">", name, "</a>"}),
                         e.result, false),
                    cell("<code>" + htmlEscaped(e.input) + "</code>", e.input, false),
                    cell(joined({"<span class=\"", htmlEscaped(e.status), "\">", htmlEscaped(status), "</span>"}),
                         std::to_string(statusRank(e.status)), false),
                    // Sorted by errors, then warnings.
                    cell(findingsCell(e), std::to_string(int64_t{e.errors} * 1000000 + e.warnings), false),
                    cell(e.seconds ? readableNumber(*e.seconds) + " s" : std::to_string(e.frames) + " frames",
                         e.seconds ? seconds(e) : std::to_string(e.frames), true),
                    cell(joined({std::to_string(e.width), "&times;", std::to_string(e.height)}),
                         std::to_string(int64_t{e.width} * e.height), true),
                    cell(eventsCell(e), std::to_string(eventCount(e)), true)});
        for (const IndicatorDescriptor* d : worst) {
            const WorstValue* w = worstOf(e, *d);
            std::string text = w ? readableNumber(w->value) : "";
            if (w && !e.report.empty())  // to the frame in the report
                text = joined(
                    {"<a href=\"", htmlEscaped(e.report), "#frame-", std::to_string(w->frame), "\">", text, "</a>"});
            out += worstCell(text, w ? shortestNumber(w->value) : "");
        }
        out += "</tr>\n";
    }
    return out + joined({"</tbody></table></div>\n<p class=\"hint\">Click a heading to sort; a worst value links to "
                         "its frame. frameprobe ",
                         kFrameprobeVersion, "</p>\n<script>\n", kCatalogueScript, "</script>\n</body>\n</html>\n"});
}
