#include "cli/options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <tuple>

#include "analysis/events.h"
#include "cli/option_values.h"
#include "io/picture.h"
#include "indicators/registry.h"
#include "kernels/kernels.h"
#include "pipeline/thread_limit.h"
#include "process/exit_status.h"
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

// The first option given an empty text (--fps ''), which no option accepts.
std::string optionWithEmptyValue(const CLI::App& app) {
    for (const CLI::Option* option : app.get_options()) {
        if (option->get_positional() || option->get_expected_max() == 0) continue;
        for (const std::string& value : option->results())
            if (value.empty()) return option->get_name();
    }
    return "";
}

std::string indicatorHelp() {
    std::string keys;
    for (const IndicatorDescriptor& d : indicatorRegistry()) keys += std::string(keys.empty() ? "" : ",") + d.key;
    return "Indicators to measure: a comma-separated list of " + keys +
           " (or all), or a mask as in the positional form. Indicators a listed one needs are added.";
}

// "Output format: legacy, json, ... (default legacy; qctools for an output named *.qctools.xml.gz)"
std::string formatHelp(const OutputFormat& defaultFormat) {
    std::string help = "Output format: " + formatChoices(defaultFormat) + " (default " + defaultFormat.name;
    for (const OutputFormat& f : outputFormats())
        if (f.fileSuffix) help += std::string("; ") + f.name + " for an output named *" + f.fileSuffix;
    return help + ")";
}

}  // namespace

bool usesOptionForm(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (isOption(argv[i])) return true;
    return argc == 2;
}

ParsedOptions parseOptions(int argc, char** argv) {
    RunOptions o;
    CLI::App app{"Measures no-reference quality indicators on every frame of a video.", "frameprobe"};
    // The kernels in use, since FRAMEPROBE_CPU (plain, avx2) may lower them.
    app.set_version_flag("--version", std::string("frameprobe ") + kFrameprobeVersion + "\nkernels: " +
                                          cpuLevelName(activeKernels().level));
    app.footer("Segments measured apart are joined with: frameprobe merge PART... [-o FILE] [--format FORMAT]\n\n"
               "Exit status: 0 after a complete run, 1 when the tool failed (input, output, memory), 2 for a\n"
               "command line it could not understand, 3 when a --fail-on condition holds, 130 or 143 after\n"
               "SIGINT or SIGTERM.");

    std::string size, indicators, format = o.format->name, fps, frames, start, origin, runFrames, threads,
                                  decoderThreads, stream, logName;
    std::string flickerThreshold;
    std::map<std::string, std::string> minDurations;  // option name -> its text
    std::vector<std::string> positional;
    bool noLog = false;
    app.add_option("INPUT", o.input, "Video file, or - for standard input (raw YUV 4:2:0, Y4M, or any container)")
        ->required();
    app.add_option("POSITIONAL", positional, "WIDTH HEIGHT [RequestedVQIs [FPS [NumberOfFrames [startFrame]]]]");
    app.add_option("-s,--size", size, "Frame size of raw input, WxH");
    app.add_option("--fps", fps, "Frame rate (default: the input's, else 25)")->type_name("FLOAT");
    app.add_option("--frames", frames, "Number of frames to measure (default: to the end)")->type_name("UINT");
    app.add_option("--start", start, "First frame to measure (default 0)")->type_name("UINT");
    app.add_option("--origin", origin,
                   "First frame of the whole run this segment belongs to (default: --start); the frames "
                   "before --start that the temporal indicators need are read but not reported")
        ->type_name("UINT");
    app.add_option("--run-frames", runFrames,
                   "Frames of the whole run this segment belongs to, from --origin (default: the input's frames "
                   "from --origin, when known); merge refuses parts that do not make all of it")
        ->type_name("UINT");
    app.add_option("--indicators", indicators, indicatorHelp());
    app.add_option("-t,--threads", threads, "Worker threads (default: FRAMEPROBE_THREADS, else every core)")
        ->type_name("UINT");
    app.add_option("--decoder-threads", decoderThreads,
                   "Frame threads of a container's decoder (default: one for H.264 and MPEG-4, whose concealed "
                   "damage then stays the same on every run; as --threads for other codecs); more decode H.264 "
                   "faster, but the pictures and damage judged in a damaged stream may differ from run to run")
        ->type_name("UINT");
    app.add_option("--stream", stream, "Video stream of a container to measure (default: the first)")
        ->type_name("UINT");
    std::string pixelFormat;
    app.add_option("--pix-fmt", pixelFormat,
                   "Pixel format of raw input, by FFmpeg's name: planar YUV or grey, e.g. yuv422p10le (default "
                   "yuv420p)")
        ->type_name("NAME");
    std::string flashArea, displayWhite, displayBlack, hlgPeak;
    app.add_option("--flash-area", flashArea,
                   "Share of the screen a flash must cover, from 0 to 1 (default 0.25; 0.2 where the stricter "
                   "limit applies)")
        ->type_name("SHARE");
    app.add_option("--display-white", displayWhite,
                   "The flash rule's SDR display: luminance of white in cd/m2 (default 200)")
        ->type_name("CD");
    app.add_option("--display-black", displayBlack,
                   "The flash rule's SDR display: luminance of black in cd/m2 (default 0)")
        ->type_name("CD");
    app.add_option("--hlg-peak", hlgPeak, "The flash rule's HLG display: peak luminance in cd/m2 (default 1000)")
        ->type_name("CD");
    std::string maxPixels;
    app.add_option("--max-pixels", maxPixels,
                   "Largest frame to measure, in pixels (default 67108864, 8192x8192); an input declaring a larger "
                   "one is refused before memory is taken for it")
        ->type_name("UINT");
    app.add_option("--format", format, formatHelp(*o.format));
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
                   "exit status is 3")
        ->allow_extra_args(false);  // one expression each: what follows is the input or another option
    for (const std::string_view type : rowEventTypes()) {
        app.add_option("--" + optionName(type) + "-min-duration", minDurations[std::string(type)],
                       "Shortest " + std::string(type) + " event reported, in seconds (default 0)")
            ->type_name("FLOAT");
    }
    app.add_option("--flicker-threshold", flickerThreshold,
                   "Switches per frame of the blocks that flicker above which a period is a flicker event")
        ->type_name("FLOAT");
    app.add_option_function<std::string>(
        "--profile", [&o](const std::string& v) { o.profile = v; },
        "QC profile: a name (frameprobe profiles lists them) or a TOML file; --fail-on adds to its conditions "
        "and the event options override its values");
    app.add_flag("--strict", o.strict, "A verdict of warn exits with status 3 too");
    app.add_option_function<std::string>(
        "--junit", [&o](const std::string& path) { o.junit = path; }, "Write the verdict as JUnit XML to this file");
    CLI::Option* report = app.add_option_function<std::string>(
        "--report", [&o](const std::string& path) { o.report = path; }, "Write an HTML report to this file");
    app.add_flag("--timecode", o.timecode,
                 "Show times in the report as time codes HH:MM:SS:FF from the container's start time code "
                 "(00:00:00:00 when it has none)")
        ->needs(report);
    app.add_option_function<std::string>(
        "--snapshots", [&o](const std::string& folder) { o.snapshots = folder; },
        "Write PNG pictures of each indicator's worst frame and of events' first frames into this folder");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(e.what());
    }

    if (const std::string name = optionWithEmptyValue(app); !name.empty())
        return fail("an empty value for " + name);

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

    if (!size.empty() && !parseSize(size, o))
        return fail("invalid size \"" + size + "\": expected WxH, e.g. 1920x1080");
    if (!fps.empty()) {
        o.fps = frameRate(fps);
        if (!o.fps) return fail("invalid frame rate \"" + fps + "\": expected a number from 1e-290 to 1000000000");
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
    if (!runFrames.empty()) {
        o.runFrames = wholeNumber<int64_t>(runFrames, 0, kMaxFrame + 1);
        if (!o.runFrames) return fail("invalid whole-run frame count \"" + runFrames + "\": expected 0 to 2147483648");
    }
    if (!threads.empty()) {
        o.threads = wholeNumber<unsigned>(threads, 1, kMaxThreads);
        if (!o.threads)
            return fail("invalid thread count \"" + threads + "\": expected 1 to " + std::to_string(kMaxThreads));
    }
    if (!decoderThreads.empty()) {
        const auto count = wholeNumber<unsigned>(decoderThreads, 1, kMaxThreads);
        if (!count)
            return fail("invalid decoder thread count \"" + decoderThreads + "\": expected 1 to " +
                        std::to_string(kMaxThreads));
        o.decoderThreads = *count;
    }
    if (!stream.empty()) {
        const auto index = wholeNumberIn(stream, 0, std::numeric_limits<int>::max());
        if (!index) return fail("invalid stream \"" + stream + "\": expected a stream index from 0 to 2147483647");
        o.stream = static_cast<int>(*index);
    }
    if (!pixelFormat.empty()) {
        if (!planarFormat(pixelFormat))
            return fail("unknown raw pixel format \"" + pixelFormat +
                        "\": expected a planar YUV or grey format such as yuv420p, yuv422p10le, yuv444p16le or gray");
        o.pixelFormat = pixelFormat;
    }
    for (const auto& [type, text] : minDurations) {
        if (text.empty()) continue;
        const auto seconds = finiteNonNegative(text);
        if (!seconds)
            return fail("invalid --" + optionName(type) + "-min-duration \"" + text +
                        "\": expected a finite number of seconds, 0 or more");
        o.minDuration[type] = *seconds;
    }
    if (!flickerThreshold.empty()) {
        o.flickerThreshold = finiteNonNegative(flickerThreshold);
        if (!o.flickerThreshold)
            return fail("invalid flicker threshold \"" + flickerThreshold + "\": expected a finite number, 0 or more");
    }
    if (!flashArea.empty()) {
        const auto share = finiteNonNegative(flashArea);
        if (!share || *share <= 0 || *share > 1)
            return fail("invalid --flash-area \"" + flashArea + "\": expected a share above 0, at most 1");
        o.flash.area = *share;
    }
    for (auto [text, value, name] : {std::tuple{&displayWhite, &o.flash.display.white, "--display-white"},
                                     std::tuple{&displayBlack, &o.flash.display.black, "--display-black"},
                                     std::tuple{&hlgPeak, &o.flash.display.hlgPeak, "--hlg-peak"}}) {
        if (text->empty()) continue;
        const auto luminance = finiteNonNegative(*text);
        if (!luminance) return fail("invalid " + std::string(name) + " \"" + *text + "\": expected cd/m2 from 0");
        *value = *luminance;
    }
    if (o.flash.display.black >= o.flash.display.white)
        return fail("the flash rule's display needs --display-black below --display-white");
    if (!maxPixels.empty()) {
        const auto value = wholeNumber<int64_t>(maxPixels, 1, std::numeric_limits<int64_t>::max());
        if (!value) return fail("invalid --max-pixels \"" + maxPixels + "\": expected a whole number from 1");
        o.maxPixels = static_cast<uint64_t>(*value);
    }
    if (!indicators.empty()) {
        std::string error;
        const auto mask = parseIndicatorList(indicators, error);
        if (!mask) return fail(error);
        o.mask = *mask;
    }
    const OutputFormat* const defaultFormat = o.format;
    o.format = findOutputFormat(format);
    if (!o.format) return fail("unknown format \"" + format + "\": expected " + formatChoices(*defaultFormat));
    if (app.count("--format") == 0)
        if (const OutputFormat* named = formatOfFileName(o.output)) o.format = named;
    if (noLog && !logName.empty()) return fail("--log and --no-log exclude each other");
    if (!noLog) o.log = logName.empty() ? "metricsResultsCSV.csv" : logName;
    o.logGiven = !logName.empty();
    // A run that is judged for a CI job and asks for no output prints the verdict, not the table.
    o.verdictOnly = (o.junit || o.profile) && app.count("--format") == 0 && app.count("--output") == 0 && !o.logGiven;
    if (o.verdictOnly) o.log.reset();
    return o;
}
