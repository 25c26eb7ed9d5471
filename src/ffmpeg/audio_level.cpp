#include "ffmpeg/audio_level.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

namespace {

template <typename T>
float peakOf(const uint8_t* data, int count, float fullScale) {
    const T* samples = reinterpret_cast<const T*>(data);
    float peak = 0;
    for (int i = 0; i < count; ++i) peak = std::max(peak, std::fabs(static_cast<float>(samples[i])) / fullScale);
    return peak;
}

float peakOfPlane(AVSampleFormat format, const uint8_t* data, int count) {
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8: {
            float peak = 0;
            for (int i = 0; i < count; ++i) peak = std::max(peak, std::fabs(float(data[i]) - 128.0f) / 128.0f);
            return peak;
        }
        case AV_SAMPLE_FMT_S16: return peakOf<int16_t>(data, count, 32768.0f);
        case AV_SAMPLE_FMT_S32: return peakOf<int32_t>(data, count, 2147483648.0f);
        case AV_SAMPLE_FMT_S64: return peakOf<int64_t>(data, count, 9223372036854775808.0f);
        case AV_SAMPLE_FMT_FLT: return peakOf<float>(data, count, 1.0f);
        case AV_SAMPLE_FMT_DBL: return peakOf<double>(data, count, 1.0f);
        default: return 0;
    }
}

}  // namespace

float audioPeak(const AVFrame* frame) {
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const int channels = frame->ch_layout.nb_channels;
    if (channels <= 0) return 0;
    if (!av_sample_fmt_is_planar(format))
        return peakOfPlane(format, frame->extended_data[0], frame->nb_samples * channels);
    float peak = 0;
    for (int c = 0; c < channels; ++c)
        peak = std::max(peak, peakOfPlane(format, frame->extended_data[c], frame->nb_samples));
    return peak;
}
