// Finding out what an input is and opening it: each kind of input (io/input_kinds.h) is asked
// in turn whether the input is its own (Y4M by its first bytes, raw YUV by its extension, any
// other file by FFmpeg's probe, raw YUV for a file nothing else recognises when sizes are given).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "io/frame_source.h"
#include "io/input_kinds.h"
#include "io/input_probe.h"
#include "io/stream_reader.h"

struct DetectedInput {
    InputKind kind = InputKind::Container;
    // Open for raw and Y4M input and containers on a pipe; it still delivers the bytes detection looked at.
    // On a regular file its FILE* is at the start and may be used directly.
    std::unique_ptr<ByteStream> stream;
};

// What `request.path` is, or a one-line message saying why it cannot be read.
std::variant<DetectedInput, std::string> detectInput(const OpenRequest& request);

// Opens an input found by detectInput() and checks the sizes of the request
// against the ones it states.
std::variant<std::unique_ptr<FrameSource>, std::string> openSource(const OpenRequest& request,
                                                                   DetectedInput detected);

// A line saying how samples deeper than 8 bits are measured; none for 8-bit input.
std::optional<std::string> bitDepthNote(const SourceInfo& info);
