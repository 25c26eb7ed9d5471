// Frame sources: where the frames of a run come from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "io/audio_loudness.h"
#include "io/decode_error.h"
#include "io/picture.h"
#include "io/timecode.h"
#include "tools/image.h"
#include "transport/transport_report.h"


struct SourceInfo {
    std::string format;                 // "raw", "y4m", or the container's name
    uint32_t width = 0;
    uint32_t height = 0;
    std::optional<double> fps;          // when the input states it
    std::optional<int64_t> frameCount;  // when known before the end, or once a pipe of raw input ended
    int bitDepth = 8;                   // of the samples in the input; luma8 holds their top 8 bits
    PictureFormat picture;              // the planes, their depth (bitDepth) and colour description
    // Containers whose frames carry time stamps give each frame's presentation
    // time in ReadResult::time; other inputs have times from their frame rate.
    bool presentationTimes = false;
    std::optional<StartTimecode> timecode;  // of the first frame, when the container states one
    // What the decoder lost so far, in frame order; complete once read() gave End.
    std::vector<DecodeError> decodeErrors;
};

struct ReadResult {
    enum Status { Frame, End, Error } status = Frame;
    std::size_t bytesRead = 0;  // raw input: bytes of the luma plane that were read
    int error = 0;              // errno of a failed read
    std::string message;        // what went wrong, for sources with their own words
    std::optional<double> time; // presentation time in seconds from the stream's start, when known
    // The decoder concealed or flagged damage in the frame, or it depends on a frame that was
    // damaged or lost since the last clean key frame.
    bool damaged = false;
};

// What a live source saw since it was last asked: its first audio stream's
// peak level and how much audio that covers, and packets the decoders refused.
struct StreamStatus {
    bool hasAudio = false;
    float audioPeak = 0;      // largest sample magnitude, 1 = full scale
    double audioSeconds = 0;  // of audio decoded
    int64_t decodeErrors = 0;
    // An MPEG transport stream: the errors each transport check counted.
    bool transport = false;
    std::array<int64_t, kTsCheckCount> transportErrors{};
    // The first audio stream's latest momentary and short-term loudness (LUFS) and its largest
    // true peak since the last call (dBTP), once known.
    std::optional<double> momentary, shortTerm, truePeak;
};

class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual const SourceInfo& info() const = 0;
    // Fills frame.luma (info().width x info().height, contiguous) with frame `index`'s 8-bit
    // luma, and frame.picture with its planes when frame.wantPlanes; they stay valid until the
    // next read into the same frame. Indices come in increasing order, one apart after the first call.
    virtual ReadResult readFrame(int64_t index, Frame& frame) = 0;
    // The 8-bit luma alone.
    ReadResult read(int64_t index, Image& luma) {
        Frame frame;
        frame.luma = luma;
        return readFrame(index, frame);
    }
    // Sources that decode live streams report what they saw since the last call.
    virtual StreamStatus takeStreamStatus() { return {}; }
    // An MPEG transport stream: what its transport checks found so far.
    virtual std::optional<TransportReport> transport() const { return std::nullopt; }
    // The loudness of each audio stream, over the audio read so far.
    virtual std::vector<AudioLoudness> loudness() const { return {}; }
};
