// FfmpegSource: opening the input and its video stream, and what the stream says of itself.
// The decode loop, the loss accounting, the seek, the plane copy and the streams beside the
// video are in files of their own (see ffmpeg_source.h).
#include "ffmpeg/ffmpeg_source.h"

#include <algorithm>
#include <cstring>
#include <fstream>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/packet_index.h"
#include "ffmpeg/pixel_layout.h"
#include "ffmpeg/source_parts.h"
#include "ffmpeg/start_timecode.h"

namespace {

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool isVideo(const AVStream* stream) {
    return stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

// Whether an MP4 keeps its index after its data: reading its header (which ends with the index) went past
// the stream's first packet, which a pipe cannot go back to.
bool indexFollowsData(const AVFormatContext* format, AVStream* stream, int64_t headerEnd) {
    if (strncmp(format->iformat->name, "mov,", 4) != 0) return false;
    const AVIndexEntry* first = avformat_index_get_entry(stream, 0);
    return first != nullptr && first->pos < headerEnd;
}

}  // namespace

FfmpegSource::FfmpegSource(std::string path)
    : path_(std::move(path)),
      startPts_(AV_NOPTS_VALUE),
      skipBelowPts_(AV_NOPTS_VALUE),
      firstPts_(AV_NOPTS_VALUE),
      lastPts_(AV_NOPTS_VALUE),
      lastDts_(AV_NOPTS_VALUE) {}

FfmpegSource::~FfmpegSource() {
    sws_freeContext(sws_);
    sws_freeContext(planeSws_);
    av_frame_free(&audioFrame_);
    avcodec_free_context(&audio_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
    finishFfmpegLog();
}

std::variant<std::unique_ptr<FfmpegSource>, std::string> FfmpegSource::open(const ContainerRequest& request) {
    std::unique_ptr<FfmpegSource> source(new FfmpegSource(request.path));
    const std::string error = source->openStream(request);
    if (!error.empty()) return error;
    source->openMeters();
    return source;
}

std::variant<std::unique_ptr<FfmpegSource>, std::string> FfmpegSource::openLive(const std::string& url,
                                                                                 const LiveOpenOptions& options) {
    std::unique_ptr<FfmpegSource> source(new FfmpegSource(url));
    source->live_ = options;
    ContainerRequest request;
    request.path = url;
    const std::string error = source->openStream(request);
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

std::string FfmpegSource::openStream(const ContainerRequest& request) {
    AVDictionary* settings = nullptr;
    transport_ = std::make_unique<TsAnalyzer>();
    if (request.read) {
        // A pipe's bytes come once, in order: the transport checks see each as it is read.
        pipe_ = std::make_unique<PipeInput>([this, read = request.read](uint8_t* to, std::size_t count) {
            const std::size_t got = read(to, count);
            if (transport_) transport_->feed(to, got);
            return got;
        });
        format_ = avformat_alloc_context();
        if (pipe_->context() == nullptr || format_ == nullptr) return "Out of memory opening " + path_;
        format_->pb = pipe_->context();
        format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    } else {
        format_ = avformat_alloc_context();
        if (format_ == nullptr) return "Out of memory opening " + path_;
        if (live_) {
            // Reads give up on a stop or a silent input; a UDP receiver that fell behind drops
            // packets instead of failing.
            format_->interrupt_callback.callback = interrupted;
            format_->interrupt_callback.opaque = this;
            lastActivity_ = steadyNanoseconds();
            av_dict_set(&settings, "overrun_nonfatal", "1", 0);
        }
        const std::string error = openInput(&settings);
        if (!error.empty()) {
            av_dict_free(&settings);
            return error;
        }
    }
    int code = avformat_open_input(&format_, pipe_ ? "" : path_.c_str(), nullptr, &settings);
    av_dict_free(&settings);
    if (code < 0) return "Could not open " + path_ + ": " + errorText(code);
    if (strcmp(format_->iformat->name, "mpegts") != 0) {
        if (tap_) tap_->detach();
        transport_.reset();
    }
    const int64_t headerEnd = avio_tell(format_->pb);
    code = avformat_find_stream_info(format_, nullptr);
    if (code < 0) return "Could not read the streams of " + path_ + ": " + errorText(code);
    const int count = static_cast<int>(format_->nb_streams);
    if (request.stream < 0) {
        for (int i = 0; i < count && streamIndex_ < 0; ++i)
            if (isVideo(format_->streams[i])) streamIndex_ = i;
        if (streamIndex_ < 0) return path_ + " has no video stream";
    } else if (request.stream >= count) {
        return path_ + " has no stream " + std::to_string(request.stream) + " (its streams are 0 to " +
               std::to_string(count - 1) + ")";
    } else if (format_->streams[request.stream]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        return "Stream " + std::to_string(request.stream) + " of " + path_ + " is not a video stream";
    } else {
        streamIndex_ = request.stream;
    }
    // The demuxer passes over the other streams' packets.
    for (int i = 0; i < count; ++i)
        if (i != streamIndex_) format_->streams[i]->discard = AVDISCARD_ALL;
    if (pipe_ && indexFollowsData(format_, format_->streams[streamIndex_], headerEnd))
        return path_ + " is an MP4 whose index follows its data, which a pipe cannot go back to: give it as a file, "
                       "or move its index to the front (ffmpeg -movflags +faststart)";
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
    // As many threads as the run has (by default the machine's CPUs), as `ffmpeg -threads N` gives:
    // the automatic choice takes one more, which the engine's threads then share the CPUs with, and a
    // run held to one CPU (a cluster task) keeps its decoder there too. Never more than the CPUs:
    // each frame thread holds frames of its own, and more would only cost memory.
    const int cpus = av_cpu_count();
    // Decoders that conceal damage from neighbouring pictures conceal it differently on other numbers
    // of threads, and with frame threads from run to run (a thread reads a reference still being mended),
    // pictures and flags alike: a damaged file's rows and judgements would depend on the thread count and
    // on chance. A file run decodes them on one thread, beside the engine's, unless asked otherwise;
    // a live stream, which must keep up, on the run's.
    const bool conceals = decoder->id == AV_CODEC_ID_H264 || decoder->id == AV_CODEC_ID_MPEG4;
    const int asked = request.threads > 0 ? std::min(static_cast<int>(request.threads), cpus) : cpus;
    codec_->thread_count = request.decoderThreads > 0 ? static_cast<int>(request.decoderThreads)
                           : conceals && !live_                ? 1
                                                               : asked;
    codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    pictures_.serve(codec_);
    code = avcodec_open2(codec_, decoder, nullptr);
    if (code < 0)
        return "Could not open the " + std::string(decoder->name) + " decoder for " + path_ + ": " + errorText(code);
    if (video->codecpar->width <= 0 || video->codecpar->height <= 0) return path_ + " does not state its frame size";

    const std::string names = format_->iformat->name;  // e.g. "matroska,webm": the first is the container's own
    info_.format = names.substr(0, names.find(','));
    info_.width = static_cast<uint32_t>(video->codecpar->width);
    info_.height = static_cast<uint32_t>(video->codecpar->height);
    if (video->avg_frame_rate.num > 0 && video->avg_frame_rate.den > 0) info_.fps = av_q2d(video->avg_frame_rate);
    if (video->nb_frames > 0)
        info_.frameCount = indexedShownFrames(format_->streams[streamIndex_]).value_or(video->nb_frames);
    // The stated average rate counts the empty packets too: the frames come at the rate their time
    // stamps step by.
    if (const auto listed = info_.format == "avi" ? indexedFramesAmongEmptyPackets(format_->streams[streamIndex_])
                                                  : std::nullopt) {
        info_.frameCount = *listed;
        if (video->r_frame_rate.num > 0 && video->r_frame_rate.den > 0) info_.fps = av_q2d(video->r_frame_rate);
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(video->codecpar->format));
    if (desc != nullptr) info_.bitDepth = desc->comp[0].depth;
    info_.picture = describePictures(*video->codecpar);
    // AVI's time stamps count packets in decode order: with B-frames they are no frame's presentation time.
    info_.presentationTimes = !(format_->iformat->flags & AVFMT_NOTIMESTAMPS) && info_.format != "avi";
    info_.timecode = startTimecode(*format_, streamIndex_);
    startPts_ = video->start_time;
    // Only a stream of one constant rate tells from a gap in its time stamps how many frames are missing.
    const AVRational rate = video->avg_frame_rate;
    if (rate.num > 0 && rate.den > 0 && av_cmp_q(rate, video->r_frame_rate) == 0)
        frameTicks_ = av_rescale_q(1, av_inv_q(rate), video->time_base);
    return {};
}

ReadResult FfmpegSource::failure(const std::string& message, int code) const {
    ReadResult result;
    result.status = ReadResult::Error;
    result.message = message + (code < 0 ? ": " + errorText(code) : "");
    if (timedOut_)
        result.message =
            "no data came from " + path_ + " for " + std::to_string(int(live_->timeoutSeconds + 0.5)) + " s";
    return result;
}

std::string FfmpegSource::openInput(AVDictionary** settings) {
    // A live input is read through the tap whatever it holds; a file only when it starts as
    // a transport stream does (a sync byte every 188 bytes), so that others read as they always did.
    if (!live_) {
        std::ifstream file(path_, std::ios::binary);
        char start[3 * 188 + 1] = {};
        if (!file.read(start, sizeof start) || start[0] != 0x47 || start[188] != 0x47 || start[376] != 0x47 ||
            start[564] != 0x47)
            return {};
    }
    std::string error;
    tap_ = TransportTap::open(path_, settings, live_ ? &format_->interrupt_callback : nullptr, transport_.get(), error);
    if (!tap_) return "Could not open " + path_ + ": " + error;
    format_->pb = tap_->context();
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    return {};
}
