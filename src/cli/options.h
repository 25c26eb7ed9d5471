// The option form of the command line:
//   frameprobe [OPTIONS] INPUT [WIDTH HEIGHT [RequestedVQIs [FPS [NumberOfFrames [startFrame]]]]]
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "indicators/flash_settings.h"
#include "indicators/indicator_list.h"
#include "output/output_formats.h"

// The largest frame a run measures unless --max-pixels allows more: 8192x8192.
inline constexpr uint64_t kDefaultMaxPixels = uint64_t{8192} * 8192;

struct RunOptions {
    std::string input;
    std::optional<uint32_t> width;
    std::optional<uint32_t> height;
    uint32_t mask = 0xFFFFFFFFu;
    std::optional<double> fps;
    std::optional<int64_t> frames;
    int64_t start = 0;
    std::optional<int64_t> origin;  // first frame of the whole run a segment belongs to
    std::optional<int64_t> runFrames;  // frames of that whole run
    std::optional<unsigned> threads;
    unsigned decoderThreads = 0;  // 0: one for decoders that conceal damage, else as --threads
    FlashSettings flash{};  // the photosensitive flash rule's display and area
    int stream = -1;  // -1: the first video stream
    std::optional<std::string> pixelFormat;  // of raw input, FFmpeg's name; default yuv420p
    const OutputFormat* format = findOutputFormat("legacy");
    std::string output = "-";
    std::optional<std::string> log;  // the legacy log file; empty with --no-log
    bool logGiven = false;           // named with --log, so that failing to write it fails the run
    uint64_t maxPixels = kDefaultMaxPixels;  // a larger declared frame is refused before memory is taken
    bool logInPlace = false;         // emptied at the start and written as it goes (the positional form)
    bool summary = false;
    bool progress = false;
    bool quiet = false;
    std::optional<std::string> ffmpegLog;  // FFmpeg's messages from this level on, whole
    std::vector<std::string> failOn;
    std::map<std::string, double> minDuration;  // per event type, seconds
    std::optional<double> flickerThreshold;
    std::optional<std::string> report;
    std::optional<std::string> profile;  // a shipped profile's name or a file
    bool strict = false;                 // a verdict of warn fails too
    std::optional<std::string> junit;    // JUnit XML of the verdict
    // The positional form's mask, measured as given: nothing is added to it.
    bool maskAsGiven = false;
    std::optional<std::string> snapshots;  // folder for the pictures of worst frames and events
    bool timecode = false;  // the report shows time codes
    // A CI run (--junit or --profile, and no --format, -o or --log): no table and no log,
    // only the verdict on standard error and the files asked for.
    bool verdictOnly = false;
};

// What parsing gave: options to run with, or a status to exit with at once
// (after --help, --version or an error, whose message was printed).
using ParsedOptions = std::variant<RunOptions, int>;

ParsedOptions parseOptions(int argc, char** argv);

// Whether the arguments use the option form: any argument that is an option
// (starts with "--", or "-" and a letter), or a single input alone.
bool usesOptionForm(int argc, char** argv);

