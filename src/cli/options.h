// The option form of the command line:
//   frameprobe [OPTIONS] INPUT [WIDTH HEIGHT [RequestedVQIs [FPS [NumberOfFrames [startFrame]]]]]
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

enum class OutputFormat { Legacy, Json, Jsonl, Csv };

struct RunOptions {
    std::string input;
    std::optional<uint32_t> width;
    std::optional<uint32_t> height;
    uint32_t mask = 0xFFFFFFFFu;
    std::optional<double> fps;
    std::optional<int64_t> frames;
    int64_t start = 0;
    std::optional<int64_t> origin;  // first frame of the whole run a segment belongs to
    std::optional<unsigned> threads;
    int stream = -1;  // -1: the first video stream
    OutputFormat format = OutputFormat::Legacy;
    std::string output = "-";
    std::optional<std::string> log;  // the legacy log file; empty with --no-log
    bool summary = false;
    bool progress = false;
    bool quiet = false;
    std::optional<std::string> ffmpegLog;  // FFmpeg's messages from this level on, whole
    std::vector<std::string> failOn;
    std::map<std::string, double> minDuration;  // per event type, seconds
    std::optional<double> flickerThreshold;
    std::optional<std::string> report;
};

// What parsing gave: options to run with, or a status to exit with at once
// (after --help, --version or an error, whose message was printed).
using ParsedOptions = std::variant<RunOptions, int>;

ParsedOptions parseOptions(int argc, char** argv);

// Whether the arguments use the option form: any argument that is an option
// (starts with "--", or "-" and a letter), or a single input alone.
bool usesOptionForm(int argc, char** argv);

// A list of indicator keys or names ("blur,noise,freezing", "all"), or a mask
// (decimal or 0x hexadecimal). Indicators that a listed one needs are added.
std::optional<uint32_t> parseIndicatorList(const std::string& text, std::string& error);

// Exit status of a command line that could not be understood.
inline constexpr int kUsageStatus = 2;
