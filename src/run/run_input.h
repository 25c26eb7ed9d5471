// Opening the input of a run: any file, URL or standard input the program
// reads, with the sizes and frame count the run was given. The one opener of
// inputs: the option form, the positional form, the monitor and the library.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "io/frame_source.h"
#include "io/open_source.h"

struct InputRequest {
    std::string path;  // "-" for standard input
    std::optional<uint32_t> width, height;
    int stream = -1;  // of a container; the first video stream when negative
    // Frames asked for: without it raw input ends at its end; with it a raw
    // range past the end shows what short reads leave.
    std::optional<int64_t> frames{};
    // FFmpeg's messages: "quiet", "summary" (the first few and a count) or a level name.
    std::string ffmpegLog = "summary";
    unsigned threads = 0;  // the run's threads, which a container's decoder gets too; 0: the machine's CPUs
    // Raw input's pixel format by FFmpeg's name (a planar YUV or grey one); default yuv420p.
    // Inputs that state their own refuse it.
    std::optional<std::string> pixelFormat{};
    unsigned decoderThreads = 0;  // --decoder-threads; 0: chosen by codec
    // Watching a live input (the monitor): URLs, and files FFmpeg reads, open as live streams.
    std::optional<LiveOpenOptions> live{};
    bool rawOnly = false;  // raw YUV whatever the input holds (the positional form)
    FILE* file = nullptr;  // the input already open, read from where it stands and left open
};

struct OpenedInput {
    DetectedInput detected;  // its kind; the source keeps the stream it reads
    std::unique_ptr<FrameSource> source;
};

// The opened input, or a one-line message saying why it cannot be read.
std::variant<OpenedInput, std::string> openRunInput(const InputRequest& request);
