// What the files that make up FfmpegSource share: the packets' time stamps as read for a seek,
// and what the decode loop and the seek both keep to.
#pragma once

#include <chrono>
#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
}

// A video packet as the container gives it, in decode order.
struct PacketStamp {
    int64_t pts;
    int64_t dts;
    bool key;
    bool shown;  // false for a packet an edit list drops: decoded for others, never given out
};

// The order of a packet in the stream: its decode time stamp, else its presentation one.
inline int64_t decodeOrder(const PacketStamp& s) { return s.dts != AV_NOPTS_VALUE ? s.dts : s.pts; }

// Damaged packets the demuxer may give up on in a row before the input counts as ended there.
inline constexpr int kMostInvalidReads = 256;

// The clock a live stream's silence is measured on (the last packet read, the interrupt callback).
inline int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
