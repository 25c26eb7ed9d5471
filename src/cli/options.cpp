#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "indicators/registry.h"
#include "kernels/kernels.h"
#include "tools/version.h"

namespace {

bool isOption(const char* arg) {
    if (arg[0] != '-') return false;
    if (arg[1] == '-') return arg[2] != '\0';
    return std::isalpha(static_cast<unsigned char>(arg[1])) != 0;
}

// Whole-text conversions: trailing characters make the value invalid.
template <typename T>
std::optional<T> wholeNumber(const std::string& text, T low, T high) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < static_cast<long long>(low) || value > static_cast<long long>(high))
        return std::nullopt;
    return static_cast<T>(value);
}

std::optional<double> positiveNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !(value > 0) || value > 1e9) return std::nullopt;
    return value;
}

bool parseSize(const std::string& text, RunOptions& o) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    const auto w = wholeNumber<uint32_t>(text.substr(0, x), 1, 1u << 30);
    const auto h = wholeNumber<uint32_t>(text.substr(x + 1), 1, 1u << 30);
    if (!w || !h) return false;
    o.width = w;
    o.height = h;
    return true;
}

int fail(const std::string& message) {
    fprintf(stderr, "frameprobe: %s\nRun 'frameprobe --help' for the options.\n", message.c_str());
    return kUsageStatus;
}

std::string indicatorHelp() {
    std::string keys;
    for (const IndicatorDescriptor& d : indicatorRegistry()) keys += std::string(keys.empty() ? "" : ",") + d.key;
    return "Indicators to measure: a comma-separated list of " + keys +
           " (or all), or a mask as in the positional form. Indicators a listed one needs are added.";
}

}  // namespace

bool usesOptionForm(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (isOption(argv[i])) return true;
    return argc == 2;
}

std::optional<uint32_t> parseIndicatorList(const std::string& text, std::string& error) {
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text[0]))) {
        char* end = nullptr;
        errno = 0;
        const unsigned long long mask = std::strtoull(text.c_str(), &end, 0);
        if (errno != 0 || *end != '\0' || mask > 0xFFFFFFFFull) {
            error = "invalid indicator mask \"" + text + "\"";
            return std::nullopt;
        }
        return static_cast<uint32_t>(mask);
    }
    uint32_t mask = 0;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const std::size_t comma = std::min(text.find(',', begin), text.size());
        std::string name = text.substr(begin, comma - begin);
        for (char& c : name)
            if (c == '-') c = '_';
        if (name == "all") {
            mask |= kAllIndicators;
        } else if (const auto index = findIndicator(name.c_str())) {
            mask |= indicatorRegistry()[static_cast<std::size_t>(*index)].requiredMask;
        } else {
            error = "unknown indicator \"" + text.substr(begin, comma - begin) + "\"";
            return std::nullopt;
        }
        begin = comma + 1;
    }
    return mask;
}

ParsedOptions parseOptions(int argc, char** argv) {
    RunOptions o;
    CLI::App app{"Measures no-reference quality indicators on every frame of a video.", "frameprobe"};
    // The kernels in use, since FRAMEPROBE_CPU (plain, avx2) may lower them.
    app.set_version_flag("--version", std::string("frameprobe ") + kFrameprobeVersion + "\nkernels: " +
                                          cpuLevelName(activeKernels().level));
    app.footer("Segments measured apart are joined with: frameprobe merge PART... [-o FILE] [--format FORMAT]");

    std::string size, indicators, format = "legacy", fps, frames, start, origin, threads, logName;
    std::vector<std::string> positional;
    bool noLog = false;
    app.add_option("INPUT", o.input, "Video file, or - for standard input (raw YUV 4:2:0, Y4M, or any container)")
        ->required();
    app.add_option("POSITIONAL", positional, "WIDTH HEIGHT [RequestedVQIs [FPS [NumberOfFrames [startFrame]]]]");
    app.add_option("-s,--size", size, "Frame size of raw input, WxH");
    app.add_option("--fps", fps, "Frame rate (default: the input's, else 25)");
    app.add_option("--frames", frames, "Number of frames to measure (default: to the end)");
    app.add_option("--start", start, "First frame to measure (default 0)");
    app.add_option("--origin", origin,
                   "First frame of the whole run this segment belongs to (default: --start); the frames "
                   "before --start that the temporal indicators need are read but not reported");
    app.add_option("--indicators", indicators, indicatorHelp());
    app.add_option("-t,--threads", threads, "Worker threads (default: FRAMEPROBE_THREADS, else every core)");
    app.add_option("--stream", o.stream, "Video stream of a container to measure (default: the first)");
    app.add_option("--format", format, "Output format: legacy, json, jsonl or csv (default legacy)");
    app.add_option("-o,--output", o.output, "Output file, - for standard output (default)");
    app.add_option("--log", logName, "Log file of the legacy format (default metricsResultsCSV.csv)");
    app.add_flag("--no-log", noLog, "Write no log file");
    app.add_flag("--summary", o.summary, "Print a summary per indicator and the events on standard error");
    app.add_flag("--progress", o.progress, "Show progress on standard error even when it is not a terminal");
    app.add_flag("-q,--quiet", o.quiet, "Show no progress and no messages of FFmpeg's libraries");
    app.add_option("--ffmpeg-log", o.ffmpegLog,
                   "Show every message of FFmpeg's libraries from LEVEL on (default: the first few warnings and a "
                   "count)")
        ->check(CLI::IsMember({"quiet", "panic", "fatal", "error", "warning", "info", "verbose", "debug", "trace"}));
    app.add_option("--fail-on", o.failOn,
                   "QC condition, repeatable, e.g. black>0, freeze.duration>2, blur.p95>5; when one holds the "
                   "exit status is 3");
    for (const char* type : {"black", "freeze", "letterbox", "pillarbox", "flicker"}) {
        app.add_option_function<double>(
               std::string("--") + type + "-min-duration",
               [&o, type](double seconds) { o.minDuration[type] = seconds; },
               std::string("Shortest ") + type + " event reported, in seconds (default 0)")
            ->check(CLI::NonNegativeNumber);
    }
    app.add_option_function<double>(
        "--flicker-threshold", [&o](double v) { o.flickerThreshold = v; },
        "Flickering value above which a period is a flicker event");
    app.add_option_function<std::string>(
        "--report", [&o](const std::string& path) { o.report = path; }, "Write an HTML report to this file");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(e.what());
    }

    // The positional values, after the input, as in the positional form.
    if (positional.size() == 1) return fail("a WIDTH needs a HEIGHT after it");
    if (positional.size() > 6) return fail("too many parameters after the input");
    if (positional.size() >= 2) {
        if (!size.empty()) return fail("the size is given twice");
        size = positional[0] + "x" + positional[1];
    }
    if (positional.size() >= 3 && indicators.empty()) indicators = positional[2];
    if (positional.size() >= 4 && fps.empty()) fps = positional[3];
    if (positional.size() >= 5 && frames.empty()) frames = positional[4];
    if (positional.size() >= 6 && start.empty()) start = positional[5];

    if (!size.empty() && !parseSize(size, o)) return fail("invalid size \"" + size + "\": expected WxH, e.g. 1920x1080");
    if (!fps.empty()) {
        o.fps = positiveNumber(fps);
        if (!o.fps) return fail("invalid frame rate \"" + fps + "\": expected a number above 0");
    }
    constexpr int64_t kMaxFrame = std::numeric_limits<int32_t>::max();
    if (!frames.empty()) {
        o.frames = wholeNumber<int64_t>(frames, 0, kMaxFrame);
        if (!o.frames) return fail("invalid frame count \"" + frames + "\": expected 0 to 2147483647");
    }
    if (!start.empty()) {
        const auto value = wholeNumber<int64_t>(start, 0, kMaxFrame);
        if (!value) return fail("invalid start frame \"" + start + "\": expected 0 to 2147483647");
        o.start = *value;
    }
    if (!origin.empty()) {
        o.origin = wholeNumber<int64_t>(origin, 0, o.start);
        if (!o.origin) return fail("invalid origin \"" + origin + "\": expected 0 to the start frame");
    }
    if (!threads.empty()) {
        o.threads = wholeNumber<unsigned>(threads, 1, 1024);
        if (!o.threads) return fail("invalid thread count \"" + threads + "\": expected 1 to 1024");
    }
    if (!indicators.empty()) {
        std::string error;
        const auto mask = parseIndicatorList(indicators, error);
        if (!mask) return fail(error);
        o.mask = *mask;
    }
    if (format == "legacy") o.format = OutputFormat::Legacy;
    else if (format == "json") o.format = OutputFormat::Json;
    else if (format == "jsonl") o.format = OutputFormat::Jsonl;
    else if (format == "csv") o.format = OutputFormat::Csv;
    else return fail("unknown format \"" + format + "\": expected legacy, json, jsonl or csv");
    if (noLog && !logName.empty()) return fail("--log and --no-log exclude each other");
    if (!noLog) o.log = logName.empty() ? "metricsResultsCSV.csv" : logName;
    return o;
}
