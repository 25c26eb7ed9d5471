#include "monitor/monitor_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "analysis/events.h"
#include "analysis/measured_indicators.h"
#include "analysis/profile_lookup.h"
#include "indicators/indicator_list.h"
#include "indicators/registry.h"
#include "monitor/alarm_profile.h"
#include "monitor/loudness_alarms.h"
#include "pipeline/thread_limit.h"
#include "process/exit_status.h"
#include "rows/text_format.h"

namespace {

int fail(const std::string& message) {
    fprintf(stderr, "frameprobe: %s\nRun 'frameprobe monitor --help' for the options.\n", message.c_str());
    return kUsageStatus;
}

// "NAME=URL" names a channel when NAME is a plain word (URLs have ':' or '/' before any '=').
std::optional<ChannelInput> namedInput(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == 0 || equals == std::string::npos) return std::nullopt;
    for (std::size_t i = 0; i < equals; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.') return std::nullopt;
    }
    return ChannelInput{text.substr(0, equals), text.substr(equals + 1)};
}

// Channel names become label values and file names: letters, digits, '_', '-' and '.'.
bool validName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (const unsigned char c : name)
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.') return false;
    return true;
}

}  // namespace

std::variant<MonitorOptions, int> parseMonitorOptions(int argc, char** argv) {
    MonitorOptions o;
    CLI::App app{"Watches live inputs (URLs, files or -), each a channel, and raises alarms.", "frameprobe monitor"};
    std::vector<std::string> inputs, names;
    std::string indicators = "all";
    std::string metrics, webhook, snapshots, profileName;
    AlarmOverrides overrides;
    app.add_option("INPUT", inputs,
                   "URL (udp://, srt://, rtmp://, rtsp://, http(s)://, ...), file or -; NAME=INPUT names it")
        ->required();
    app.add_option("--name", names, "Name of the channel of the input in the same place (repeatable)")
        ->allow_extra_args(false);
    app.add_option("-o,--output", o.output, "Alarm records (JSON Lines) go here, appended; - for standard output");
    app.add_option("--metrics", metrics, "Serve Prometheus metrics at /metrics and /healthz on HOST:PORT");
    app.add_option("--webhook", webhook, "POST each alarm record as JSON to this URL");
    app.add_option("--snapshots", snapshots, "Folder for a PNG of the picture where each alarm started");
    app.add_flag("--realtime", o.realtime, "Read files at their frame rate, as a live stream would come");
    app.add_option("--indicators", indicators, "Indicators to measure (as in file runs; default all)");
    app.add_option("-t,--threads", o.threads, "Worker threads per channel (default 1)")
        ->check(CLI::Range(1u, kMaxThreads));
    // The event types of file runs, then the monitor's own alarms.
    std::vector<std::string_view> types(rowEventTypes().begin(), rowEventTypes().end());
    types.insert(types.end(), kMonitorAlarms.begin(), kMonitorAlarms.end());
    for (const std::string_view type : types) {
        const std::string name = optionName(type);
        app.add_option_function<std::string>(
            "--" + name + "-severity",
            [&overrides, type](const std::string& s) { overrides.severity[std::string(type)] = s; },
            "Severity written with " + std::string(type) + " alarms");
        if (name == "no-signal") continue;
        // One of an alarm type's two times, leaving the other as it stands.
        const auto timing = [&](const std::string& option, std::map<std::string, double, std::less<>>& seconds,
                                const std::string& help) {
            app.add_option_function<double>(
                   option, [&seconds, type](double s) { seconds[std::string(type)] = s; }, help)
                ->check(CLI::NonNegativeNumber);
        };
        const AlarmTiming defaults = defaultTiming(type);
        timing("--" + name + "-min-duration", overrides.detection,
               "Seconds a " + std::string(type) + " defect lasts before its alarm is raised (default " +
                   shortestNumber(defaults.detection) + ")");
        timing("--" + name + "-recovery", overrides.recovery,
               "Seconds without the defect before a " + std::string(type) + " alarm clears (default " +
                   shortestNumber(defaults.recovery) + ")");
    }
    app.add_option("--no-signal-after", o.noSignalAfter,
                   "Seconds without pictures before a no_signal alarm; it clears with the next picture (default 2)")
        ->check(CLI::PositiveNumber);
    app.add_option_function<double>(
        "--flicker-threshold", [&overrides](double x) { overrides.flickerThreshold = x; },
        "Switches per frame of the blocks that flicker above which a period is flicker");
    app.add_option("--profile", profileName,
                   "QC profile (a shipped name or a TOML file) whose event rules set the alarms; options override it");
    app.add_option("--silence-threshold", o.silenceThreshold,
                   "Audio peak in dBFS below which audio is silent (default -60)")
        ->check(CLI::Range(-200.0, 0.0));
    std::string loudnessPresetName;
    std::optional<double> loudnessTarget, loudnessTolerance, truePeakLimit;
    app.add_option("--loudness-preset", loudnessPresetName,
                   "Loudness alarms' limits: ebu-r128 (-23 LUFS +-1 LU, -1 dBTP; the default) or atsc-a85 "
                   "(-24 LKFS +-2 dB, -2 dBTP)")
        ->check(CLI::IsMember({"ebu-r128", "atsc-a85"}));
    app.add_option("--loudness-target", loudnessTarget, "Short-term loudness in LUFS the loudness alarm aims at")
        ->check(CLI::Range(-200.0, 0.0));
    app.add_option("--loudness-tolerance", loudnessTolerance, "LU either side of the target the loudness alarm allows")
        ->check(CLI::Range(0.0, 200.0));
    app.add_option("--true-peak-limit", truePeakLimit, "True peak in dBTP above which the true_peak alarm is raised")
        ->check(CLI::Range(-200.0, 0.0));
    app.add_option("--reconnect-min", o.reconnectMin, "Seconds before opening a lost input again (default 0.5)")
        ->check(CLI::PositiveNumber);
    app.add_option("--reconnect-max", o.reconnectMax, "Longest wait between attempts, in seconds (default 30)")
        ->check(CLI::PositiveNumber);
    app.add_option("--timeout", o.timeout, "Seconds without data after which an input counts as lost (default 5)")
        ->check(CLI::PositiveNumber);

    try {
        app.parse(argc - 1, argv + 1);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return fail(e.what());
    }
    if (names.size() > inputs.size()) return fail("more --name options than inputs");
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        ChannelInput input = namedInput(inputs[i]).value_or(ChannelInput{"", inputs[i]});
        if (i < names.size()) input.name = names[i];
        if (input.name.empty()) input.name = "channel" + std::to_string(i + 1);
        if (!validName(input.name))
            return fail("invalid channel name \"" + input.name + "\": use letters, digits, '_', '-' and '.'");
        for (const ChannelInput& other : o.channels)
            if (other.name == input.name) return fail("two channels are named \"" + input.name + "\"");
        if (input.url.empty()) return fail("channel " + input.name + " has no input");
        o.channels.push_back(std::move(input));
    }
    if (o.reconnectMax < o.reconnectMin) return fail("--reconnect-max is below --reconnect-min");
    std::string error;
    const auto mask = parseIndicatorList(indicators, error);
    if (!mask) return fail(error);
    // What each listed indicator needs or reads is measured too, as in file runs.
    o.mask = measuredIndicators(*mask, {}).mask;
    if (profileName.empty()) {
        o.alarms = composeAlarmSettings(nullptr, overrides);
    } else {
        try {
            const Profile profile = resolveProfile(profileName);
            o.alarms = composeAlarmSettings(&profile.events, overrides);
            if (profile.loudness) o.loudness = *profile.loudness;
            // The severity of the profile's loudness conditions, unless the command line gives one.
            if (profile.loudnessSeverity)
                for (std::string_view type : {kLoudnessEvent, kTruePeakEvent})
                    if (!overrides.severity.count(type))
                        o.alarms.severity[std::string(type)] = severityName(*profile.loudnessSeverity);
            // As in file runs, the indicators the profile's events read are measured too.
            std::vector<std::pair<std::string, std::string>> named;
            for (const auto* settings : {&profile.events.minDuration, &profile.events.recovery})
                for (const auto& entry : *settings) named.emplace_back(entry.first, "profile " + profile.name);
            for (const auto& entry : profile.events.severity)
                named.emplace_back(entry.first, "profile " + profile.name);
            o.mask = measuredIndicators(o.mask, named).mask;
        } catch (const std::exception& e) {  // ProfileError
            fprintf(stderr, "frameprobe: %s\n", e.what());
            return kUsageStatus;
        }
    }
    // A NaN limit, which the ranges let through, would silence its alarm for ever.
    for (const auto& [limit, option] : {std::pair{loudnessTarget, "--loudness-target"},
                                        {loudnessTolerance, "--loudness-tolerance"},
                                        {truePeakLimit, "--true-peak-limit"}})
        if (limit && !std::isfinite(*limit)) return fail(std::string(option) + " is not a number");
    // A preset on the command line replaces the profile's limits; a number changes one of them.
    if (!loudnessPresetName.empty()) o.loudness = *loudnessPreset(loudnessPresetName);
    if (loudnessTarget) o.loudness.target = *loudnessTarget;
    if (loudnessTolerance) o.loudness.tolerance = *loudnessTolerance;
    if (truePeakLimit) o.loudness.truePeak = *truePeakLimit;
    if (!metrics.empty()) o.metrics = metrics;
    if (!webhook.empty()) o.webhook = webhook;
    if (!snapshots.empty()) o.snapshots = snapshots;
    return o;
}
