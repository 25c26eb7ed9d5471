// The command line of `frameprobe monitor`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "analysis/loudness_limits.h"
#include "monitor/alarm_rules.h"

struct ChannelInput {
    std::string name;
    std::string url;  // a URL, a file, or "-"
};

struct MonitorOptions {
    std::vector<ChannelInput> channels;
    std::string output = "-";
    std::optional<std::string> metrics;  // HOST:PORT
    std::optional<std::string> webhook;
    std::optional<std::string> snapshots;  // folder
    bool realtime = false;                 // files at their frame rate
    uint32_t mask = 0;
    unsigned threads = 1;                  // per channel
    AlarmSettings alarms;
    double noSignalAfter = 2;      // seconds without pictures
    double silenceThreshold = -60; // dBFS peak
    LoudnessLimits loudness;       // of the loudness and true_peak alarms
    double reconnectMin = 0.5;     // seconds before the first attempt to open a lost input again
    double reconnectMax = 30;      // and the longest wait between attempts
    double timeout = 5;            // seconds without packets after which an input counts as lost
};

// The options after "monitor" (argv[1]), or the exit status when there is nothing to run.
std::variant<MonitorOptions, int> parseMonitorOptions(int argc, char** argv);
