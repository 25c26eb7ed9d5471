// Finding out what an input is and opening it: Y4M by its first bytes, raw
// YUV by its extension (or by the sizes given for a file nothing else
// recognises), any other file by FFmpeg's probe.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

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
};

enum class InputKind { Raw, Y4m, Container };

struct DetectedInput {
    InputKind kind = InputKind::Container;
    // Open for raw and Y4M input and containers on a pipe; it still delivers the bytes detection looked at.
    // On a regular file its FILE* is at the start and may be used directly.
    std::unique_ptr<ByteStream> stream;
};

// What `request.path` is, or a one-line message saying why it cannot be read.
std::variant<DetectedInput, std::string> detectInput(const OpenRequest& request);

// Opens a Y4M or container input found by detectInput() and checks the sizes
// of the request against the ones it states. Raw input is not opened here.
std::variant<std::unique_ptr<FrameSource>, std::string> openSource(const OpenRequest& request,
                                                                   DetectedInput detected);

// The name of the input in messages.
std::string inputName(const std::string& path);

// A line saying how samples deeper than 8 bits are measured; none for 8-bit input.
std::optional<std::string> bitDepthNote(const SourceInfo& info);
