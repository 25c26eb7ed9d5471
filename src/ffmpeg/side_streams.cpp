// FfmpegSource: what the streams beside the video tell: the loudness of the audio streams, a
// live stream's audio level and damage counts, and the transport checks of an MPEG-TS input.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "ffmpeg/audio_level.h"
#include "ffmpeg/ffmpeg_source.h"

void FfmpegSource::openMeters() {
    meters_.resize(format_->nb_streams);
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        AVStream* stream = format_->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        meters_[i] = LoudnessMeter::open(*stream, static_cast<int>(i));
        if (meters_[i]) stream->discard = AVDISCARD_DEFAULT;
    }
}

std::optional<TransportReport> FfmpegSource::transport() const {
    if (!transport_) return std::nullopt;
    TransportReport report = transport_->report();
    // The frame an error belongs to is the one shown at its time on the stream's clock, when
    // that is known: the reader runs ahead of the decoder.
    const AVStream* video = format_->streams[streamIndex_];
    const double start = startPts_ != AV_NOPTS_VALUE ? static_cast<double>(startPts_) * av_q2d(video->time_base) : NAN;
    const double fps = info_.fps.value_or(25);
    if (!std::isnan(start) && strcmp(format_->iformat->name, "mpegts") == 0)
        for (TsOccurrence& o : report.occurrences)
            if (!std::isnan(o.time))
                o.frame = std::max<int64_t>(0, static_cast<int64_t>(std::floor((o.time - start) * fps)));
    std::stable_sort(report.occurrences.begin(), report.occurrences.end(),
                     [](const TsOccurrence& a, const TsOccurrence& b) { return a.frame < b.frame; });
    return report;
}

std::vector<AudioLoudness> FfmpegSource::loudness() const {
    std::vector<AudioLoudness> all;
    for (const auto& meter : meters_)
        if (meter) all.push_back(meter->result());
    return all;
}

void FfmpegSource::openAudio() {
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* stream = format_->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        // Only the first audio stream counts; one the program cannot decode leaves the channel without audio.
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        if (decoder == nullptr) return;
        audio_ = avcodec_alloc_context3(decoder);
        audioFrame_ = av_frame_alloc();
        if (audio_ == nullptr || audioFrame_ == nullptr ||
            avcodec_parameters_to_context(audio_, stream->codecpar) < 0 ||
            avcodec_open2(audio_, decoder, nullptr) < 0) {
            avcodec_free_context(&audio_);
            return;
        }
        audioIndex_ = static_cast<int>(i);
        meters_.resize(format_->nb_streams);
        meters_[i] = LoudnessMeter::open(*stream, static_cast<int>(i), true);
        format_->streams[i]->discard = AVDISCARD_DEFAULT;  // opening left only the video stream's packets
        status_.hasAudio = true;
        return;
    }
}

void FfmpegSource::decodeAudio(const AVPacket* packet) {
    const int sent = avcodec_send_packet(audio_, packet);
    if (sent < 0 && sent != AVERROR(EAGAIN)) {
        ++status_.decodeErrors;
        return;
    }
    while (avcodec_receive_frame(audio_, audioFrame_) == 0) {
        status_.audioPeak = std::max(status_.audioPeak, audioPeak(audioFrame_));
        if (audioFrame_->sample_rate > 0)
            status_.audioSeconds += double(audioFrame_->nb_samples) / audioFrame_->sample_rate;
        av_frame_unref(audioFrame_);
    }
}

StreamStatus FfmpegSource::takeStreamStatus() {
    StreamStatus taken = status_;
    status_ = StreamStatus{};
    status_.hasAudio = taken.hasAudio;
    if (audioIndex_ >= 0 && static_cast<std::size_t>(audioIndex_) < meters_.size() &&
        meters_[static_cast<std::size_t>(audioIndex_)]) {
        LoudnessMeter& meter = *meters_[static_cast<std::size_t>(audioIndex_)];
        taken.momentary = meter.momentary();
        taken.shortTerm = meter.shortTerm();
        taken.truePeak = meter.takeTruePeak();
    }
    if (transport_) {
        taken.transport = true;
        const auto& counts = transport_->counts();
        for (std::size_t i = 0; i < counts.size(); ++i) taken.transportErrors[i] = counts[i] - transportTaken_[i];
        transportTaken_ = counts;
    }
    return taken;
}
