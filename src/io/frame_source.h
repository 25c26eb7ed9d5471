// Frame sources: where the luma planes of a run come from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/decode_error.h"
#include "tools/image.h"


struct SourceInfo {
    std::string format;                 // "raw", "y4m", or the container's name
    uint32_t width = 0;
    uint32_t height = 0;
    std::optional<double> fps;          // when the input states it
    std::optional<int64_t> frameCount;  // when known before the end
    int bitDepth = 8;                   // of the samples in the input; measured on their top 8 bits
    // Containers whose frames carry time stamps give each frame's presentation
    // time in ReadResult::time; other inputs have times from their frame rate.
    bool presentationTimes = false;
    // What the decoder lost so far, in frame order; complete once read() gave End.
    std::vector<DecodeError> decodeErrors;
};

struct ReadResult {
    enum Status { Frame, End, Error } status = Frame;
    std::size_t bytesRead = 0;  // raw input: bytes of the luma plane that were read
    int error = 0;              // errno of a failed read
    std::string message;        // what went wrong, for sources with their own words
    std::optional<double> time; // presentation time in seconds from the stream's start, when known
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual const SourceInfo& info() const = 0;
    // Fills `luma` (info().width x info().height, contiguous) with frame `index`.
    // Indices come in increasing order, one apart after the first call.
    virtual ReadResult read(int64_t index, Image& luma) = 0;
};
