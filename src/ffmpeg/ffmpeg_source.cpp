#include "ffmpeg/ffmpeg_source.h"

#include "ffmpeg/audio_level.h"

#include <chrono>
#include <algorithm>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace {

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool isVideo(const AVStream* stream) {
    return stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

// The luma component when it can be read as it is: YUV or grey samples of 8 to 16 bits, planar or packed.
const AVComponentDescriptor* directLuma(const AVPixFmtDescriptor* desc) {
    constexpr uint64_t converted = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                   AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_FLOAT;
    if (desc == nullptr || (desc->flags & converted) || strncmp(desc->name, "xyz", 3) == 0) return nullptr;
    const AVComponentDescriptor& y = desc->comp[0];
    const int sampleBytes = y.depth > 8 ? 2 : 1;
    if (y.plane != 0 || y.depth < 8 || y.depth + y.shift > 16 || y.step < sampleBytes) return nullptr;
    return &y;
}

int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

FfmpegSource::FfmpegSource(std::string path) : path_(std::move(path)) {}

FfmpegSource::~FfmpegSource() {
    sws_freeContext(sws_);
    av_frame_free(&audioFrame_);
    avcodec_free_context(&audio_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

std::variant<std::unique_ptr<FfmpegSource>, std::string> FfmpegSource::open(const std::string& path, int stream) {
    std::unique_ptr<FfmpegSource> source(new FfmpegSource(path));
    const std::string error = source->openStream(stream);
    if (!error.empty()) return error;
    return source;
}

std::variant<std::unique_ptr<FfmpegSource>, std::string> FfmpegSource::openLive(const std::string& url,
                                                                                 const LiveOpenOptions& options) {
    std::unique_ptr<FfmpegSource> source(new FfmpegSource(url));
    source->live_ = options;
    const std::string error = source->openStream(-1);
    if (!error.empty()) return error;
    source->openAudio();
    source->lastActivity_ = steadyNanoseconds();
    source->opened_ = true;
    return source;
}

int FfmpegSource::interrupted(void* self) {
    auto* source = static_cast<FfmpegSource*>(self);
    const LiveOpenOptions& live = *source->live_;
    if (live.stop != nullptr && live.stop->load()) return 1;
    // Opening waits as long as it takes (a listener waits for its caller); once open, silence ends the stream.
    if (!source->opened_ || live.timeoutSeconds <= 0) return 0;
    if (steadyNanoseconds() - source->lastActivity_ <= int64_t(live.timeoutSeconds * 1e9)) return 0;
    source->timedOut_ = true;
    return 1;
}

std::string FfmpegSource::openStream(int stream) {
    // The libraries' warnings would mix with the report; their errors still show.
    av_log_set_level(AV_LOG_ERROR);
    AVDictionary* settings = nullptr;
    if (live_) {
        // Reads give up on a stop or a silent input; a UDP receiver that fell behind drops packets instead of failing.
        format_ = avformat_alloc_context();
        if (format_ == nullptr) return "Out of memory opening " + path_;
        format_->interrupt_callback.callback = interrupted;
        format_->interrupt_callback.opaque = this;
        lastActivity_ = steadyNanoseconds();
        av_dict_set(&settings, "overrun_nonfatal", "1", 0);
    }
    int code = avformat_open_input(&format_, path_.c_str(), nullptr, &settings);
    av_dict_free(&settings);
    if (code < 0) return "Could not open " + path_ + ": " + errorText(code);
    code = avformat_find_stream_info(format_, nullptr);
    if (code < 0) return "Could not read the streams of " + path_ + ": " + errorText(code);
    const int count = static_cast<int>(format_->nb_streams);
    if (stream < 0) {
        for (int i = 0; i < count && streamIndex_ < 0; ++i)
            if (isVideo(format_->streams[i])) streamIndex_ = i;
        if (streamIndex_ < 0) return path_ + " has no video stream";
    } else if (stream >= count) {
        return path_ + " has no stream " + std::to_string(stream) + " (its streams are 0 to " +
               std::to_string(count - 1) + ")";
    } else if (format_->streams[stream]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        return "Stream " + std::to_string(stream) + " of " + path_ + " is not a video stream";
    } else {
        streamIndex_ = stream;
    }
    const AVStream* video = format_->streams[streamIndex_];
    const AVCodec* decoder = avcodec_find_decoder(video->codecpar->codec_id);
    if (decoder == nullptr)
        return "No decoder for the " + std::string(avcodec_get_name(video->codecpar->codec_id)) + " video of " +
               path_;
    codec_ = avcodec_alloc_context3(decoder);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (codec_ == nullptr || packet_ == nullptr || frame_ == nullptr) return "Out of memory opening " + path_;
    code = avcodec_parameters_to_context(codec_, video->codecpar);
    if (code < 0) return "Could not set up the decoder of " + path_ + ": " + errorText(code);
    codec_->thread_count = 0;  // as many as the machine has
    codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    code = avcodec_open2(codec_, decoder, nullptr);
    if (code < 0) return "Could not open the " + std::string(decoder->name) + " decoder for " + path_ + ": " + errorText(code);
    if (video->codecpar->width <= 0 || video->codecpar->height <= 0) return path_ + " does not state its frame size";

    const std::string names = format_->iformat->name;  // e.g. "matroska,webm": the first is the container's own
    info_.format = names.substr(0, names.find(','));
    info_.width = static_cast<uint32_t>(video->codecpar->width);
    info_.height = static_cast<uint32_t>(video->codecpar->height);
    if (video->avg_frame_rate.num > 0 && video->avg_frame_rate.den > 0) info_.fps = av_q2d(video->avg_frame_rate);
    if (video->nb_frames > 0) info_.frameCount = video->nb_frames;
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(video->codecpar->format));
    if (desc != nullptr) info_.bitDepth = desc->comp[0].depth;
    return {};
}

ReadResult FfmpegSource::failure(const std::string& message, int code) const {
    ReadResult result;
    result.status = ReadResult::Error;
    result.message = message + (code < 0 ? ": " + errorText(code) : "");
    if (timedOut_)
        result.message = "no data came from " + path_ + " for " + std::to_string(int(live_->timeoutSeconds + 0.5)) + " s";
    return result;
}

ReadResult FfmpegSource::decodeNext() {
    ReadResult result;
    for (;;) {
        int code = avcodec_receive_frame(codec_, frame_);
        if (code == 0) return result;
        if (code == AVERROR_EOF || (code == AVERROR(EAGAIN) && flushing_)) {
            result.status = ReadResult::End;
            return result;
        }
        if (live_ && code == AVERROR_INVALIDDATA) {
            ++status_.decodeErrors;
            continue;
        }
        if (code != AVERROR(EAGAIN)) return failure("Could not decode frame " + std::to_string(next_) + " of " + path_, code);
        code = av_read_frame(format_, packet_);
        if (code == AVERROR_EOF) {
            flushing_ = true;  // the decoder still holds the frames it delays
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        if (code < 0) return failure("Could not read frame " + std::to_string(next_) + " of " + path_, code);
        lastActivity_ = steadyNanoseconds();
        if (packet_->stream_index == streamIndex_) code = avcodec_send_packet(codec_, packet_);
        if (packet_->stream_index == audioIndex_) decodeAudio(packet_);
        av_packet_unref(packet_);
        if (code == AVERROR_INVALIDDATA) ++status_.decodeErrors;
        // A damaged packet is passed over, as the ffmpeg program does: the decoder has said why.
        if (code < 0 && code != AVERROR_INVALIDDATA)
            return failure("Could not decode frame " + std::to_string(next_) + " of " + path_, code);
    }
}

ReadResult FfmpegSource::copyLuma(Image& luma) {
    const uint32_t width = info_.width, height = info_.height;
    if (frame_->width != static_cast<int>(width) || frame_->height != static_cast<int>(height))
        return failure("Frame " + std::to_string(next_) + " of " + path_ + " is " + std::to_string(frame_->width) +
                       "x" + std::to_string(frame_->height) + ", not " + std::to_string(width) + "x" +
                       std::to_string(height) + " as the stream states");
    const auto format = static_cast<AVPixelFormat>(frame_->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    if (const AVComponentDescriptor* y = directLuma(desc)) {
        const bool bigEndian = desc->flags & AV_PIX_FMT_FLAG_BE;
        const unsigned mask = (1u << y->depth) - 1;
        const int down = y->depth - 8;
        for (uint32_t row = 0; row < height; ++row) {
            const uint8_t* in = frame_->data[0] + static_cast<std::ptrdiff_t>(row) * frame_->linesize[0] + y->offset;
            uint8_t* out = luma.data + static_cast<std::size_t>(row) * width;
            if (y->depth == 8 && y->step == 1) {
                memcpy(out, in, width);
            } else if (y->depth == 8) {
                for (uint32_t x = 0; x < width; ++x) out[x] = in[x * y->step];
            } else {
                for (uint32_t x = 0; x < width; ++x) {
                    const uint8_t* s = in + x * y->step;
                    const unsigned word = bigEndian ? (s[0] << 8 | s[1]) : (s[1] << 8 | s[0]);
                    out[x] = static_cast<uint8_t>(((word >> y->shift) & mask) >> down);
                }
            }
        }
        return ReadResult{};
    }
    if (sws_ == nullptr || swsFormat_ != format) {
        sws_freeContext(sws_);
        sws_ = sws_getContext(static_cast<int>(width), static_cast<int>(height), format, static_cast<int>(width),
                              static_cast<int>(height), AV_PIX_FMT_GRAY8, SWS_BICUBIC | SWS_ACCURATE_RND, nullptr,
                              nullptr, nullptr);
        if (sws_ == nullptr)
            return failure("Cannot convert the " + std::string(desc ? desc->name : "unknown") + " pixels of frame " +
                           std::to_string(next_) + " of " + path_ + " to luma");
        swsFormat_ = format;
        // RGB in full range gives luma by the BT.601 matrix in the limited range 16-235.
        const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(sws_, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
        // swscale may write past the end of a row, so it writes to padded rows of its own.
        greyStride_ = (static_cast<int>(width) + 63) / 64 * 64;
        grey_.assign(static_cast<std::size_t>(greyStride_) * height + 64, 0);
    }
    uint8_t* planes[4] = {grey_.data(), nullptr, nullptr, nullptr};
    int strides[4] = {greyStride_, 0, 0, 0};
    sws_scale(sws_, frame_->data, frame_->linesize, 0, static_cast<int>(height), planes, strides);
    for (uint32_t row = 0; row < height; ++row)
        memcpy(luma.data + static_cast<std::size_t>(row) * width,
               grey_.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(greyStride_), width);
    return ReadResult{};
}

ReadResult FfmpegSource::read(int64_t index, Image& luma) {
    if (luma.data == nullptr || luma.w != info_.width || luma.h != info_.height)
        return failure("Frame " + std::to_string(index) + " of " + path_ + " was asked for in a plane of another size");
    if (index < next_) return failure("Cannot go back to frame " + std::to_string(index) + " of " + path_);
    // Start frames are reached by decoding every frame before them: seeking could land near, not on, them.
    for (; next_ <= index; ++next_) {
        ReadResult result = decodeNext();
        if (result.status != ReadResult::Frame) return result;
        if (next_ == index) {
            result = copyLuma(luma);
            av_frame_unref(frame_);
            ++next_;
            return result;
        }
        av_frame_unref(frame_);
    }
    return failure("Cannot go back to frame " + std::to_string(index) + " of " + path_);
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
        if (audio_ == nullptr || audioFrame_ == nullptr || avcodec_parameters_to_context(audio_, stream->codecpar) < 0 ||
            avcodec_open2(audio_, decoder, nullptr) < 0) {
            avcodec_free_context(&audio_);
            return;
        }
        audioIndex_ = static_cast<int>(i);
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
        if (audioFrame_->sample_rate > 0) status_.audioSeconds += double(audioFrame_->nb_samples) / audioFrame_->sample_rate;
        av_frame_unref(audioFrame_);
    }
}

StreamStatus FfmpegSource::takeStreamStatus() {
    StreamStatus taken = status_;
    status_ = StreamStatus{};
    status_.hasAudio = taken.hasAudio;
    return taken;
}
