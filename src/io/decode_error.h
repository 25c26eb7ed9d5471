// A place where a decoder dropped or rejected frames.
#pragma once

#include <cstdint>
#include <optional>

// `frames` frames were lost just before frame `frame`, whose presentation time is `time` (seconds).
struct DecodeError {
    int64_t frame = 0;
    std::optional<double> time;
    int64_t frames = 1;
};

#include <vector>

// Frames lost in all.
inline int64_t framesLost(const std::vector<DecodeError>& errors) {
    int64_t lost = 0;
    for (const DecodeError& e : errors) lost += e.frames;
    return lost;
}
