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

// The indicators whose worst value some entry has, in registry order; flags are
// left out, since their event counts say the same.
std::vector<const IndicatorDescriptor*> worstColumns(const std::vector<CatalogueEntry>& entries) {
    std::vector<const IndicatorDescriptor*> out;
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (!isFlag(d) && std::any_of(entries.begin(), entries.end(),
                                      [&](const CatalogueEntry& e) { return e.worst.count(d.key) > 0; }))
            out.push_back(&d);
    return out;
}

const WorstValue* worstOf(const CatalogueEntry& e, const IndicatorDescriptor& d) {
    const auto found = e.worst.find(d.key);
    return found == e.worst.end() ? nullptr : &found->second;
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
    return joined({"<td", number ? " class=\"n\"" : "", " data-value=\"", htmlEscaped(sortValue), "\">", text, "</td>"});
}

const char* const kCatalogueScript = R"js(
(function () {
  "use strict";
  var table = document.getElementById("catalogue"), body = table.tBodies[0], filter = document.getElementById("filter");
  var key = -1, up = true;
  [].slice.call(table.tHead.rows[0].cells).forEach(function (th, i) {
    th.onclick = function () {
      // A worst value sorts worst first on the first click; cells without a value stay last.
      up = key === i ? !up : th.dataset.worse !== "higher"; key = i;
      var number = th.dataset.sort === "number";
      [].slice.call(body.rows).sort(function (a, b) {
        var x = a.cells[i].dataset.value, y = b.cells[i].dataset.value;
        if (x === "" || y === "") return (x === "") - (y === "");
        var order = number ? (+x) - (+y) : (x < y ? -1 : x > y ? 1 : 0);
        return up ? order : -order;
      }).forEach(function (r) { body.appendChild(r); });
      table.dataset.sorted = i + (up ? " up" : " down");
    };
  });
  filter.oninput = function () {
    var words = filter.value.toLowerCase();
    [].slice.call(body.rows).forEach(function (r) { r.hidden = r.textContent.toLowerCase().indexOf(words) < 0; });
    table.dataset.shown = [].slice.call(body.rows).filter(function (r) { return !r.hidden; }).length;
  };
  document.documentElement.dataset.ready = "1";
})();
)js";

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
    out += ",report\n";
    for (const CatalogueEntry& e : entries) {
        out += joined({csvField(e.result), ",", csvField(e.input), ",", statusWord(e), ",", std::to_string(e.errors), ",",
                       std::to_string(e.warnings), ",", std::to_string(e.frames), ",", seconds(e), ",",
                       std::to_string(e.width), ",", std::to_string(e.height), ",", std::to_string(eventCount(e))});
        for (const std::string& t : types) out += joined({",", countOf(e, t)});
        for (const IndicatorDescriptor* d : worst) {
            const WorstValue* w = worstOf(e, *d);
            out += joined({",", w ? shortestNumber(w->value) : ""});
        }
        out += joined({",", csvField(e.report), "\n"});
    }
    return out;
}

std::string cataloguePage(const std::vector<CatalogueEntry>& entries) {
    const std::vector<std::string> types = eventTypes(entries);
    const std::vector<const IndicatorDescriptor*> worst = worstColumns(entries);
    int failed = 0;
    for (const CatalogueEntry& e : entries) failed += e.status == "fail";
    std::string out = joined(
        {"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>frameprobe catalogue</title>\n"
         "<style>", kReportStyle, "</style>\n<script>", kReportErrorScript, "</script>\n</head>\n<body>\n"
         "<h1>frameprobe catalogue</h1>\n<p id=\"totals\">", std::to_string(entries.size()), " runs, ",
         std::to_string(failed), " failed &middot; <a download=\"catalogue.csv\" id=\"csv\" href=\"data:text/csv;base64,",
         base64(catalogueCsv(entries)), "\">CSV</a> &middot; <input id=\"filter\" type=\"search\" placeholder=\"filter\""
         " aria-label=\"filter the runs\"></p>\n<div class=\"wide\"><table id=\"catalogue\">\n<thead><tr><th data-sort=\"text\">result</th>"
         "<th data-sort=\"text\">input</th><th data-sort=\"number\">verdict</th><th data-sort=\"number\">errors</th>"
         "<th data-sort=\"number\">warnings</th><th data-sort=\"number\">duration</th><th data-sort=\"number\">size</th>"
         "<th data-sort=\"number\">events</th>"});
    for (const std::string& t : types) out += "<th data-sort=\"number\">" + htmlEscaped(t) + "</th>";
    for (const IndicatorDescriptor* d : worst) {
        const bool higher = d->worse == Worse::Higher;
        out += joined({"<th data-sort=\"number\" data-worse=\"", higher ? "higher" : "lower", "\" title=\"the ",
                       higher ? "highest" : "lowest", " value of ", htmlEscaped(d->key), "\">worst ", htmlEscaped(d->name),
                       "</th>"});
    }
    out += "</tr></thead>\n<tbody>\n";
    for (const CatalogueEntry& e : entries) {
        const std::string name = htmlEscaped(e.result);
        const std::string status = statusWord(e);
        out += joined({"<tr data-status=\"", htmlEscaped(status), "\">",
                       cell(e.report.empty() ? name : joined({"<a href=\"", htmlEscaped(e.report), "\">", name, "</a>"}),
                            e.result, false),
                       cell("<code>" + htmlEscaped(e.input) + "</code>", e.input, false),
                       cell(joined({"<span class=\"", htmlEscaped(e.status), "\">", htmlEscaped(status), "</span>"}),
                            std::to_string(statusRank(e.status)), false),
                       cell(std::to_string(e.errors), std::to_string(e.errors), true),
                       cell(std::to_string(e.warnings), std::to_string(e.warnings), true),
                       cell(e.seconds ? readableNumber(*e.seconds) + " s" : std::to_string(e.frames) + " frames",
                            e.seconds ? seconds(e) : std::to_string(e.frames), true),
                       cell(joined({std::to_string(e.width), "&times;", std::to_string(e.height)}),
                            std::to_string(int64_t{e.width} * e.height), true),
                       cell(std::to_string(eventCount(e)), std::to_string(eventCount(e)), true)});
        for (const std::string& t : types) out += cell(countOf(e, t), countOf(e, t), true);
        for (const IndicatorDescriptor* d : worst) {
            const WorstValue* w = worstOf(e, *d);
            std::string text = w ? readableNumber(w->value) : "";
            if (w && !e.report.empty())  // to the frame in the report
                text = joined({"<a href=\"", htmlEscaped(e.report), "#frame-", std::to_string(w->frame), "\">", text, "</a>"});
            out += cell(text, w ? shortestNumber(w->value) : "", true);
        }
        out += "</tr>\n";
    }
    return out + joined({"</tbody></table></div>\n<p class=\"hint\">Click a heading to sort; a worst value links to its frame. frameprobe ", kFrameprobeVersion,
                         "</p>\n<script>", kCatalogueScript, "</script>\n</body>\n</html>\n"});
}
