// The loudness of one audio stream as it is decoded: integrated loudness, loudness range
// and true peak (EBU R128 with ITU-R BS.1770-4's K-weighting and gating, through
// libebur128), and the momentary (400 ms) and short-term (3 s) loudness for live channels.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <ebur128.h>

#include "io/audio_loudness.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct AVStream;

class LoudnessMeter {
public:
    // Null when the stream cannot be decoded.
    // `live`: a meter that runs for ever keeps its history in constant memory (a histogram).
    static std::unique_ptr<LoudnessMeter> open(const AVStream& stream, int index, bool live = false);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Decodes a packet of the stream and measures its samples; null drains the decoder.
    void add(const AVPacket* packet);
    AudioLoudness result() const;
    std::optional<double> momentary() const;
    std::optional<double> shortTerm() const;
    // The largest true peak since the last call, in dBTP.
    std::optional<double> takeTruePeak();

private:
    LoudnessMeter() = default;
    void measure(const AVFrame* frame);
    bool start(const AVFrame* frame);

    AVCodecContext* codec_ = nullptr;
    AVFrame* frame_ = nullptr;
    ebur128_state* state_ = nullptr;
    int index_ = 0;
    bool live_ = false;
    int channels_ = 0;
    int rate_ = 0;
    double seconds_ = 0;
    double recentPeak_ = 0;  // linear, since takeTruePeak
    std::vector<float> interleaved_;
};
