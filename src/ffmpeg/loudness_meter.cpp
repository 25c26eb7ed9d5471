#include "ffmpeg/loudness_meter.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace {

constexpr int kModes = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK;

// BS.1770-4 weights the surround channels by 1.41 and leaves the LFE out.
int channelOf(AVChannel channel) {
    switch (channel) {
        case AV_CHAN_FRONT_LEFT: return EBUR128_LEFT;
        case AV_CHAN_FRONT_RIGHT: return EBUR128_RIGHT;
        case AV_CHAN_FRONT_CENTER: return EBUR128_CENTER;
        case AV_CHAN_SIDE_LEFT:
        case AV_CHAN_BACK_LEFT: return EBUR128_LEFT_SURROUND;
        case AV_CHAN_SIDE_RIGHT:
        case AV_CHAN_BACK_RIGHT: return EBUR128_RIGHT_SURROUND;
        case AV_CHAN_LOW_FREQUENCY:
        case AV_CHAN_LOW_FREQUENCY_2: return EBUR128_UNUSED;
        default: return EBUR128_LEFT;  // any other channel counts with weight 1
    }
}

float sampleAt(AVSampleFormat format, const uint8_t* data, int i) {
    switch (format) {
        case AV_SAMPLE_FMT_U8: return (float(data[i]) - 128.0f) / 128.0f;
        case AV_SAMPLE_FMT_S16: return float(reinterpret_cast<const int16_t*>(data)[i]) / 32768.0f;
        case AV_SAMPLE_FMT_S32: return float(double(reinterpret_cast<const int32_t*>(data)[i]) / 2147483648.0);
        case AV_SAMPLE_FMT_FLT: return reinterpret_cast<const float*>(data)[i];
        case AV_SAMPLE_FMT_DBL: return float(reinterpret_cast<const double*>(data)[i]);
        default: return 0;
    }
}

std::optional<double> whenFinite(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<double> decibels(double linear) {
    return linear > 0 ? std::optional(20 * std::log10(linear)) : std::nullopt;
}

}  // namespace

std::unique_ptr<LoudnessMeter> LoudnessMeter::open(const AVStream& stream, int index, bool live) {
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (decoder == nullptr) return nullptr;
    std::unique_ptr<LoudnessMeter> meter(new LoudnessMeter);
    meter->index_ = index;
    meter->live_ = live;
    meter->codec_ = avcodec_alloc_context3(decoder);
    meter->frame_ = av_frame_alloc();
    if (meter->codec_ == nullptr || meter->frame_ == nullptr ||
        avcodec_parameters_to_context(meter->codec_, stream.codecpar) < 0 ||
        avcodec_open2(meter->codec_, decoder, nullptr) < 0)
        return nullptr;
    return meter;
}

LoudnessMeter::~LoudnessMeter() {
    if (state_ != nullptr) ebur128_destroy(&state_);
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
}

void LoudnessMeter::add(const AVPacket* packet) {
    const int sent = avcodec_send_packet(codec_, packet);
    if (sent < 0 && sent != AVERROR(EAGAIN) && packet != nullptr) return;  // a damaged packet: its audio is lost
    while (avcodec_receive_frame(codec_, frame_) == 0) {
        measure(frame_);
        av_frame_unref(frame_);
    }
}

bool LoudnessMeter::start(const AVFrame* frame) {
    channels_ = frame->ch_layout.nb_channels;
    rate_ = frame->sample_rate;
    if (channels_ <= 0 || rate_ <= 0) return false;
    state_ = ebur128_init(static_cast<unsigned>(channels_), static_cast<unsigned long>(rate_),
                          live_ ? kModes | EBUR128_MODE_HISTOGRAM : kModes);
    if (state_ == nullptr) return false;
    // A layout that names its channels places them; mono and unnamed layouts count every channel alike.
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE && channels_ > 1)
        for (int c = 0; c < channels_; ++c)
            ebur128_set_channel(
                state_, static_cast<unsigned>(c),
                channelOf(av_channel_layout_channel_from_index(&frame->ch_layout, static_cast<unsigned>(c))));
    else
        for (int c = 0; c < channels_; ++c) ebur128_set_channel(state_, static_cast<unsigned>(c), EBUR128_LEFT);
    interleaved_.reserve(static_cast<std::size_t>(channels_) * 4096);
    return true;
}

void LoudnessMeter::measure(const AVFrame* frame) {
    if (state_ == nullptr && !start(frame)) return;
    // The stream's layout or rate changed mid-way: those samples are not measured.
    if (frame->ch_layout.nb_channels != channels_ || frame->sample_rate != rate_ || frame->nb_samples <= 0) return;
    const auto format = static_cast<AVSampleFormat>(frame->format);
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const auto samples = static_cast<std::size_t>(frame->nb_samples);
    if (format == AV_SAMPLE_FMT_FLT) {
        ebur128_add_frames_float(state_, reinterpret_cast<const float*>(frame->extended_data[0]), samples);
    } else {
        interleaved_.resize(samples * static_cast<std::size_t>(channels_));
        const bool planar = av_sample_fmt_is_planar(format) != 0;
        for (int c = 0; c < channels_; ++c)
            for (std::size_t i = 0; i < samples; ++i)
                interleaved_[i * static_cast<std::size_t>(channels_) + static_cast<std::size_t>(c)] =
                    planar ? sampleAt(packed, frame->extended_data[c], static_cast<int>(i))
                           : sampleAt(packed, frame->extended_data[0], static_cast<int>(i) * channels_ + c);
        ebur128_add_frames_float(state_, interleaved_.data(), samples);
    }
    seconds_ += static_cast<double>(samples) / rate_;
    for (int c = 0; c < channels_; ++c) {
        double peak = 0;
        if (ebur128_prev_true_peak(state_, static_cast<unsigned>(c), &peak) == EBUR128_SUCCESS)
            recentPeak_ = std::max(recentPeak_, peak);
    }
}

AudioLoudness LoudnessMeter::result() const {
    AudioLoudness out;
    out.stream = index_;
    out.channels = channels_;
    out.sampleRate = rate_;
    out.seconds = seconds_;
    if (state_ == nullptr) return out;
    double value = 0;
    if (ebur128_loudness_global(state_, &value) == EBUR128_SUCCESS) out.integrated = whenFinite(value);
    if (ebur128_loudness_range(state_, &value) == EBUR128_SUCCESS) out.range = whenFinite(value);
    double peak = 0;
    for (int c = 0; c < channels_; ++c)
        if (ebur128_true_peak(state_, static_cast<unsigned>(c), &value) == EBUR128_SUCCESS)
            peak = std::max(peak, value);
    out.truePeak = decibels(peak);
    return out;
}

std::optional<double> LoudnessMeter::momentary() const {
    double value = 0;
    if (state_ == nullptr || ebur128_loudness_momentary(state_, &value) != EBUR128_SUCCESS) return std::nullopt;
    return whenFinite(value);
}

std::optional<double> LoudnessMeter::shortTerm() const {
    double value = 0;
    if (state_ == nullptr || ebur128_loudness_shortterm(state_, &value) != EBUR128_SUCCESS) return std::nullopt;
    return whenFinite(value);
}

std::optional<double> LoudnessMeter::takeTruePeak() {
    const std::optional<double> peak = decibels(recentPeak_);
    recentPeak_ = 0;
    return peak;
}
