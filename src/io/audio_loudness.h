// The loudness of an audio stream (EBU R128, measured as ITU-R BS.1770-4 defines it).
#pragma once

#include <optional>

struct AudioLoudness {
    int stream = 0;  // the container's stream index
    int channels = 0;
    int sampleRate = 0;
    double seconds = 0;                  // of audio measured
    std::optional<double> integrated;    // LUFS; none for silence or less than 400 ms
    std::optional<double> range;         // LU
    std::optional<double> truePeak;      // dBTP, the largest of the channels'; none for silence
};
