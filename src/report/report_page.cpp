#include "report/report_page.h"

#include <array>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>

#include "indicators/registry.h"
#include "indicators/signal_levels.h"
#include "report/html_text.h"
#include "report/png_writer.h"
#include "report/report_assets.h"
#include "analysis/run_record.h"
#include "rows/text_format.h"
#include "tools/frame_rate.h"
#include "tools/version.h"

namespace {

std::string readable(double value) { return readableNumber(value); }

const IndicatorDescriptor& entry(int i) { return indicatorRegistry()[static_cast<std::size_t>(i)]; }

std::vector<int> requestedIndicators(const RunRecord& record) {
    std::vector<int> out;
    for (int i = 0; i < kIndicatorCount; ++i)
        if (record.requested(i)) out.push_back(i);
    return out;
}

std::string frameLink(int64_t frame) {
    const std::string n = std::to_string(frame);
    return joined({"<a href=\"#frame-", n, "\">", n, "</a>"});
}

std::string framesLink(int64_t start, int64_t end) {
    const std::string a = std::to_string(start), b = std::to_string(end);
    return joined({"<a href=\"#frames-", a, "-", b, "\">", a, "&ndash;", b, "</a>"});
}

std::string titled(const IndicatorDescriptor& d) {
    const std::string name = htmlEscaped(d.name);
    return *d.unit ? joined({name, " <small>(", htmlEscaped(d.unit), ")</small>"}) : name;
}

// Flags (integer values that mark an event when above zero) are drawn as bands,
// values that stand for several frames each as markers, the rest as lines.
const char* plotStyle(const IndicatorDescriptor& d) {
    if (d.event.framesPerValue > 1) return "sparse";
    if (isFlag(d)) return "flag";
    return "line";
}

std::string fact(std::string_view term, std::string_view value) {
    return joined({"<dt>", term, "</dt><dd>", value, "</dd>\n"});
}

// "warn" reads as a warning, never as a pass.
std::string statusText(VerdictStatus status) {
    const char* word = status == VerdictStatus::Pass ? "passed" : status == VerdictStatus::Warn ? "warnings" : "failed";
    return joined({"<span class=\"", statusName(status), "\">", word, "</span>"});
}

// The events behind a finding, as links that zoom to them; the first few only.
std::string eventLinks(const std::vector<Event>& list) {
    constexpr std::size_t kShown = 8;
    std::string out;
    for (std::size_t k = 0; k < list.size() && k < kShown; ++k)
        out += joined({k ? ", " : "", framesLink(list[k].startFrame, list[k].endFrame)});
    if (list.size() > kShown) out += joined({" and ", std::to_string(list.size() - kShown), " more"});
    return out;
}

// The verdict, when the run was judged: its status, the profile, and each finding
// with its value, its severity, where it was given and the events behind it.
std::string verdictBlock(const ReportContent& c) {
    const std::optional<Verdict> verdict = c.record.verdict();
    if (!verdict || c.end.interrupted) return "";
    std::string out = joined({"<div id=\"verdict\" data-status=\"", statusName(verdict->status),
                              "\"><p>verdict: ", statusText(verdict->status)});
    if (!verdict->profile.empty())
        out += joined({" &middot; profile <code>", htmlEscaped(verdict->profile), "</code>",
                       verdict->profileVersion.empty() ? "" : " version " + htmlEscaped(verdict->profileVersion)});
    out += "</p>\n";
    if (verdict->findings.empty()) return out + "</div>\n";
    out += "<ul id=\"findings\">\n";
    for (const VerdictFinding& f : verdict->findings) {
        out += joined({"<li class=\"severity-", severityName(f.severity), "\" data-severity=\"",
                       severityName(f.severity), "\" data-events=\"", std::to_string(f.events.size()), "\"><strong>",
                       severityName(f.severity), "</strong>: <code>", htmlEscaped(findingText(f)), "</code> <small>(",
                       htmlEscaped(f.source), ")</small>"});
        if (!f.events.empty()) out += "; events: " + eventLinks(f.events);
        out += "</li>\n";
    }
    return out + "</ul></div>\n";
}

std::string pixelsText(const PictureFormat& p) {
    std::string text = p.pixelFormat.empty() ? std::string("not stated") : htmlEscaped(p.pixelFormat);
    text += joined({", ", chromaSubsampling(p)});
    if (!p.convertedTo.empty()) text += joined({", planes read as ", htmlEscaped(p.convertedTo)});
    return text;
}

std::string colourText(const PictureFormat& p) {
    const auto part = [](const char* name, const std::optional<std::string>& value) {
        return joined({name, " ", value ? htmlEscaped(*value) : std::string("not stated")});
    };
    return joined({part("range", p.colorRange), ", ", part("matrix", p.colorMatrix), ", ",
                   part("transfer", p.colorTransfer), ", ", part("primaries", p.colorPrimaries)});
}

std::string header(const ReportContent& c) {
    const RunInfo& info = c.record.info();
    // "-" is how the command line names standard input.
    const std::string path = info.path == "-" ? std::string("standard input") : htmlEscaped(info.path);
    std::string out =
        joined({"<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>frameprobe: ", path,
                "</title>\n<style>\n", kReportStyle, "</style>\n<script>\n", kReportErrorScript,
                "</script>\n</head>\n<body>\n<h1>frameprobe report: ", path, "</h1>\n<dl class=\"run\">\n"});
    std::string qc = "no gate given";
    const std::optional<Verdict> verdict = c.record.verdict();
    if (c.end.interrupted)
        qc = "not judged: the run was interrupted";
    else if (verdict)
        qc = statusText(verdict->status) + " (see the verdict below)";
    std::string depth = std::to_string(info.bitDepth) + " bits";
    if (!info.note.empty()) depth += joined({" (", htmlEscaped(info.note), ")"});
    const double fps = c.end.seconds > 0 ? static_cast<double>(c.end.frames) / c.end.seconds : 0;
    out += fact("input", joined({"<code>", path, "</code>"}));
    out += fact("format", htmlEscaped(info.format));
    out += fact("size", joined({std::to_string(info.width), " &times; ", std::to_string(info.height)}));
    out += fact("frame rate", readable(info.fps) + " frames per second");
    if (info.timecode) out += fact("start time code", htmlEscaped(info.timecode->start));
    out += fact("bit depth", depth);
    out += fact("pixels", pixelsText(info.picture));
    out += fact("colour", colourText(info.picture));
    out += fact("frames measured", joined({std::to_string(c.record.frames()), " from frame ",
                                           std::to_string(info.startFrame),
                                           c.end.interrupted ? " (interrupted)" : ""}));
    out += fact("threads", std::to_string(info.threads));
    out += fact("analysis", joined({readable(c.end.seconds), " s, ", readable(fps), " frames per second"}));
    out += fact("QC", qc);
    out += fact("frameprobe", kFrameprobeVersion);
    out += "</dl>\n<div id=\"errors\"></div>\n";
    return out;
}

// The whole run at a glance: the verdict when the run record has one, and a
// strip with a row per event type, drawn by the script with its legend.
std::string overview(const ReportContent& c) {
    return "<h2 id=\"overview\">Overview</h2>\n" + verdictBlock(c) + "<div id=\"legend\"></div>\n"
           "<svg id=\"strip\" viewBox=\"0 0 1000 40\" role=\"img\" aria-label=\"events across the run\"></svg>\n"
           "<p class=\"hint\">Click a stretch to zoom every plot to it; <kbd>n</kbd> and <kbd>p</kbd> step to the next"
           " and previous event, <kbd>0</kbd> returns to the whole run. The address of the page keeps the view.</p>\n";
}

std::string image(const Thumbnail& thumbnail) {
    const std::string png = encodeGreyPng(thumbnail.image());
    return joined({"<img alt=\"frame ", std::to_string(thumbnail.frame), "\" data-frame=\"",
                   std::to_string(thumbnail.frame), "\" width=\"", std::to_string(thumbnail.width), "\" height=\"",
                   std::to_string(thumbnail.height), "\" src=\"data:image/png;base64,", base64(png), "\">"});
}

std::string picture(const Thumbnail& thumbnail, std::string_view caption, std::string_view kind) {
    return joined({"<figure id=\"picture-", std::to_string(thumbnail.frame), "\" class=\"", kind, "\">",
                   image(thumbnail), "<figcaption>", caption, "</figcaption></figure>\n"});
}

// Evenly spaced small pictures, which the script lays along the time axis
// with the events' first frames from the gallery.
std::string filmstrip(const ReportContent& c) {
    std::string out = "<div id=\"filmstrip\"></div>\n<div id=\"strip-pictures\" hidden>";
    for (const Thumbnail* t : c.thumbnails.filmstrip()) out += image(*t);
    return out + "</div>\n<div id=\"viewer\" hidden><img alt=\"\"><p></p></div>\n";
}

// The levels section's plots: bands of the picture's statistics over time, from the
// smallest low to the largest high of each bin, at the input's own depth.
struct LevelsPlot {
    const char* key;
    const char* name;
    SignalStat low, high;
    bool limits;  // EBU R103's limits drawn across it
};
constexpr std::array<LevelsPlot, 4> kLevelsPlots = {{
    {"levels_y", "luma (Y), minimum to maximum", YMIN, YMAX, true},
    {"levels_cb", "Cb (U), minimum to maximum", UMIN, UMAX, false},
    {"levels_cr", "Cr (V), minimum to maximum", VMIN, VMAX, false},
    {"saturation", "saturation, mean to maximum", SATAVG, SATMAX, false},
}};

// Only for runs whose rows carry the picture's statistics.
std::string levelsSection(const ReportContent& c) {
    if (!c.envelope.hasSignal()) return "";
    std::string out =
        "<h3 id=\"levels\">Levels</h3>\n<p class=\"hint\">Codes at the input's depth; the dashed lines are EBU R103's"
        " limits, and the shaded stretches its levels events (R103 exceeded on more than 1 % of the picture).</p>\n";
    for (const LevelsPlot& p : kLevelsPlots)
        out +=
            joined({"<figure class=\"plot levels\" data-indicator=\"", p.key, "\" id=\"plot-", p.key, "\"><figcaption>",
                    p.name, "</figcaption><svg viewBox=\"0 0 1000 132\" role=\"img\"></svg></figure>\n"});
    return out;
}

// The flash rule's verdict and its failing sequences, for runs that judge it; the plots above
// draw the luminance change and the flashes per second with the sequences shaded.
std::string flashSection(const ReportContent& c) {
    const std::vector<EventSource> sources = eventSources(c.record.info().mask, c.record.info().fps);
    if (std::none_of(sources.begin(), sources.end(), [](const EventSource& s) { return s.name() == "flash"; }))
        return "";
    std::string rows;
    std::size_t failing = 0;
    for (const Event& e : c.record.events()) {
        if (e.type != "flash") continue;
        ++failing;
        rows += joined({"<tr><td>", framesLink(e.startFrame, e.endFrame), "</td><td class=\"n\">",
                        readable(e.startTime), " s</td><td class=\"n\">", readable(e.duration), " s</td></tr>\n"});
    }
    std::string out =
        "<h3 id=\"flashes\">Photosensitive flashes</h3>\n<p class=\"hint\">ITU-R BT.1702: more than three flashes "
        "(pairs of opposed changes of 20 cd/m² or more over the set share of the screen, or of a saturated red) in "
        "any one second fails; a sequence lasts while the count stays above three.</p>\n";
    if (failing == 0) return out + "<p>Passed: no second held more than three flashes.</p>\n";
    return joined({out, "<p>Failed: ", std::to_string(failing), failing == 1 ? " sequence" : " sequences",
                   ".</p>\n<table>\n<tr><th>frames</th><th>start</th><th>duration</th></tr>\n", rows, "</table>\n"});
}

std::string plots(const ReportContent& c) {
    std::string out =
        "<h2 id=\"plots\">Per frame</h2>\n<div id=\"controls\"><button id=\"zoom-in\">zoom in</button>"
        "<button id=\"zoom-out\">zoom out</button><button id=\"zoom-all\">whole run</button> <span id=\"view\"></span>"
        " &middot; drag across a plot to zoom to those frames</div>\n<div id=\"tip\" hidden></div>\n" + filmstrip(c);
    for (int i : requestedIndicators(c.record)) {
        const IndicatorDescriptor& d = entry(i);
        out += joined({"<figure class=\"plot\" data-indicator=\"", d.key, "\" id=\"plot-", d.key, "\"><figcaption>",
                       titled(d), "</figcaption><svg viewBox=\"0 0 1000 132\" role=\"img\"></svg></figure>\n"});
    }
    out += levelsSection(c);
    out += flashSection(c);
    out += "<noscript>The plots are drawn by the page's script.</noscript>\n";
    return out;
}

std::string summary(const ReportContent& c) {
    std::string out =
        "<h2 id=\"summary\">Summary</h2>\n<table>\n<tr><th>indicator</th><th>count</th><th>min</th><th>mean</th>"
        "<th>max</th><th>p95</th><th>worst frames</th></tr>\n";
    for (int i : requestedIndicators(c.record)) {
        const IndicatorDescriptor& d = entry(i);
        const Statistics s = c.record.statistics(i);
        out += joined({"<tr><td><a href=\"#plot-", d.key, "\">", titled(d), "</a></td><td class=\"n\">",
                       std::to_string(s.count), "</td>"});
        if (s.count == 0) {
            out +=
                "<td class=\"n\">-</td><td class=\"n\">-</td><td class=\"n\">-</td><td "
                "class=\"n\">-</td><td>-</td></tr>\n";
            continue;
        }
        for (double v : {s.min, s.mean, s.max, s.p95}) out += joined({"<td class=\"n\">", readable(v), "</td>"});
        out += "<td>";
        for (std::size_t k = 0; k < s.worst.size(); ++k)
            out += joined({k ? ", " : "", frameLink(s.worst[k].frame), " (", readable(s.worst[k].value), ")"});
        out += "</td></tr>\n";
    }
    return out + "</table>\n";
}

std::string events(const std::vector<Event>& list) {
    std::string out = joined({"<h2 id=\"events\">Events (", std::to_string(list.size()), ")</h2>\n"});
    if (list.empty()) return out + "<p>None.</p>\n";
    out += "<table id=\"event-table\">\n<thead><tr><th data-sort=\"type\">type</th><th data-sort=\"start\">frames</th>"
           "<th data-sort=\"start\">start</th><th data-sort=\"end\">end</th><th data-sort=\"duration\">duration</th>"
           "<th data-sort=\"severity\">severity</th></tr></thead>\n<tbody>\n";
    for (const Event& e : list) {
        const std::string_view severity = severityName(e.severity);
        out += joined({"<tr data-type=\"", htmlEscaped(e.type), "\" data-start=\"", std::to_string(e.startFrame),
                       "\" data-end=\"", std::to_string(e.endFrame), "\" data-duration=\"", shortestNumber(e.duration),
                       "\" data-severity=\"", severity, "\"><td>", htmlEscaped(e.type), "</td><td>"});
        out += joined({framesLink(e.startFrame, e.endFrame), "</td><td class=\"n\">", readable(e.startTime),
                       " s</td><td class=\"n\">", readable(e.endTime), " s</td><td class=\"n\">", readable(e.duration),
                       " s</td><td class=\"severity-", severity, "\">", severity, "</td></tr>\n"});
    }
    out += "</tbody>";
    return out + "</table>\n";
}

std::string pictures(const ReportContent& c, const std::vector<Event>& list) {
    std::string out =
        "<h2 id=\"pictures\">Pictures</h2>\n<h3>Worst frame of each indicator</h3>\n<div class=\"gallery\">\n";
    // A frame that is the worst of several indicators is shown once, with all of them.
    std::vector<const Thumbnail*> order;
    std::map<int64_t, std::string> captions;
    for (int i : requestedIndicators(c.record)) {
        const Thumbnail* t = c.thumbnails.worst(i);
        if (t == nullptr) continue;
        std::string& caption = captions[t->frame];
        if (caption.empty()) {
            order.push_back(t);
            caption = "frame " + frameLink(t->frame) + ", worst";
        }
        caption += joined({" ", htmlEscaped(entry(i).name), ","});
    }
    for (const Thumbnail* t : order) {
        std::string caption = captions[t->frame];
        caption.pop_back();
        out += picture(*t, caption, "worst");
    }
    out += "</div>\n";
    if (list.empty()) return out;
    out += joined({"<h3>First frame of each event</h3>\n<p>Pictures are kept for the first ",
                   std::to_string(kEventThumbnailLimit), " events.</p>\n<div class=\"gallery\">\n"});
    for (const Event& e : list) {
        const Thumbnail* t = c.thumbnails.eventStart(e.type, e.startFrame);
        if (t == nullptr) continue;
        out += picture(*t,
                       joined({htmlEscaped(e.type), ", frames ", framesLink(e.startFrame, e.endFrame),
                               t->frame != e.startFrame ? ", shown from frame " + std::to_string(t->frame) : ""}),
                       "event-start");
    }
    return out + "</div>\n";
}

// With --timecode: the time code of frame 0, the container's or else 00:00:00:00 at the
// rate rounded, for the script to count from.
std::string timecodeData(const ReportContent& c) {
    if (!c.timecode) return "";
    const RunInfo& info = c.record.info();
    const StartTimecode tc = info.timecode.value_or(StartTimecode{
        "00:00:00:00", std::isfinite(info.fps) ? static_cast<int>(std::clamp(std::lround(info.fps), 1L, 1000L))
                                               : static_cast<int>(kDefaultFps)});
    return joined({",\"timecode\":{\"start\":", jsonString(tc.start), ",\"fps\":", std::to_string(tc.fps),
                   ",\"drop\":", tc.dropFrame ? "true" : "false", "}"});
}

// The values the script plots, as JSON: one bin per frame for short runs, so
// only "v"; the smallest and largest value per bin for long ones.
std::string plotData(const ReportContent& c, const std::vector<Event>& list) {
    const FrameEnvelope& env = c.envelope;
    std::string out =
        joined({"{\"first\":", std::to_string(env.first()), ",\"frames\":", std::to_string(env.frames()),
                ",\"binWidth\":", std::to_string(env.binWidth()), ",\"bins\":", std::to_string(env.bins()),
                ",\"fps\":", shortestNumber(c.record.info().fps), timecodeData(c), ",\"plots\":["});
    const auto values = [&](int i, bool high) {
        std::string text = "[";
        for (std::size_t b = 0; b < env.bins(); ++b) {
            const auto v = high ? env.high(i, b) : env.low(i, b);
            text += joined({b ? "," : "", v ? readable(*v) : "null"});
        }
        return text + "]";
    };
    bool firstPlot = true;
    for (int i : requestedIndicators(c.record)) {
        const IndicatorDescriptor& d = entry(i);
        out += joined({firstPlot ? "" : ",", "{\"key\":", jsonString(d.key), ",\"name\":", jsonString(d.name),
                       ",\"unit\":", jsonString(d.unit), ",\"style\":", jsonString(plotStyle(d))});
        if (d.event.type != nullptr) out += ",\"event\":" + jsonString(d.event.type);
        // Shown by the script where the run has no value at all.
        if (d.needs != nullptr) out += ",\"why\":" + jsonString(d.needs);
        // "hi" is left out where it would repeat "lo": flags, and sparse values one to a bin.
        const std::string low = values(i, false);
        if (env.binWidth() == 1)
            out += ",\"v\":" + low;
        else {
            const std::string high = values(i, true);
            out += joined({",\"lo\":", low, high == low ? "" : ",\"hi\":", high == low ? "" : high});
        }
        out += "}";
        firstPlot = false;
    }
    if (env.hasSignal()) {
        const RunInfo& info = c.record.info();
        const R103Limits limits = r103Limits(info.bitDepth, info.picture.colorRange == "pc");
        for (const LevelsPlot& p : kLevelsPlots) {
            out += joined({",{\"key\":", jsonString(p.key), ",\"name\":", jsonString(p.name),
                           ",\"unit\":\"\",\"style\":\"band\",\"event\":\"levels\",\"lo\":",
                           values(signalSeries(p.low), false), ",\"hi\":", values(signalSeries(p.high), true)});
            if (p.limits)
                out += joined({",\"limits\":[", std::to_string(limits.low), ",", std::to_string(limits.high), "]"});
            out += "}";
        }
    }
    out += "],\"eventTypes\":[";
    for (std::size_t t = 0; t < eventTypes().size(); ++t) out += joined({t ? "," : "", jsonString(eventTypes()[t])});
    // The rows of the overview strip: the types the requested indicators can mark, by their
    // values or by the detectors their requests have judge the frames (levels, constant colour).
    out += "],\"runTypes\":[";
    bool firstType = true;
    for (const EventSource& source : eventSources(c.record.info().mask, c.record.info().fps)) {
        out += joined({firstType ? "" : ",", jsonString(source.name())});
        firstType = false;
    }
    out += "],\"events\":[";
    for (std::size_t k = 0; k < list.size(); ++k)
        out += joined({k ? "," : "", "{\"type\":", jsonString(list[k].type),
                       ",\"start\":", std::to_string(list[k].startFrame), ",\"end\":", std::to_string(list[k].endFrame),
                       ",\"severity\":", jsonString(severityName(list[k].severity)), "}"});
    return out + "]}";
}

}  // namespace

void writeReportPage(OutputFile& out, const ReportContent& content) {
    const std::vector<Event> list = content.record.events();
    for (const std::string& part :
         {header(content), overview(content), plots(content), summary(content), events(list)}) {
        out.append(part);
        out.commit();
    }
    out.append(pictures(content, list));
    out.commit();
    out.append(joined({"<script type=\"application/json\" id=\"report-data\">", scriptSafe(plotData(content, list)),
                       "</script>\n<script>\n", kReportScript, "</script>\n</body>\n</html>\n"}));
    out.commit();
}
