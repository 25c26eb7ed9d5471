// What every kind of input is given to recognise an input and to open it: the request, and the
// input's stream with its first bytes to look at. Each kind's source provides its recogniser
// and its opener; io/input_kinds.h lists the kinds.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "io/ffmpeg_module_interface.h"
#include "io/frame_source.h"
#include "io/stream_reader.h"

struct OpenRequest {
    std::string path;  // "-" for standard input
    std::optional<uint32_t> width, height;
    int stream = -1;  // of a container; the first video stream when negative
    // FFmpeg's messages: "quiet", "summary" (the first few and a count) or a level name.
    std::string ffmpegLog = "summary";
    unsigned threads = 0;  // a container's decoder threads; 0: the machine's CPUs
    unsigned decoderThreads = 0;  // asked for by name (--decoder-threads); 0: chosen by codec
    // Frames asked for: without it raw input ends at its end; with it a raw
    // range past the end shows what short reads leave.
    std::optional<int64_t> frames{};
    // Raw input's pixel format by FFmpeg's name (a planar YUV or grey one); default yuv420p.
    std::optional<std::string> pixelFormat{};
    // Watching a live input: URLs, and files FFmpeg reads, open as live streams.
    std::optional<LiveOpenOptions> live{};
    bool rawOnly = false;  // raw YUV whatever the input holds, as the positional form reads it
    // The input already open, read from where it stands and left open (the positional form's); else `path` is opened.
    FILE* file = nullptr;
};

// The input being recognised: its stream is at its start, and peek() leaves the bytes for the reader.
struct InputProbe {
    const OpenRequest& request;
    const std::string& name;  // in messages
    ByteStream& stream;
    bool sized;  // a width and a height were given
    bool pipe;   // read front to back: standard input or anything but a regular file
};

// A kind's answer: the input is of this kind or not, or it cannot be read at all (`error` says why).
struct Recognition {
    bool recognised = false;
    std::string error;
};

using OpenedSource = std::variant<std::unique_ptr<FrameSource>, std::string>;

// The name of the input in messages.
std::string inputName(const std::string& path);
