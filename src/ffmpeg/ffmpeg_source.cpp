#include "ffmpeg/ffmpeg_source.h"

#include "ffmpeg/audio_level.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <unordered_map>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/packet_index.h"
#include "ffmpeg/start_timecode.h"
#include "kernels/deep_samples_kernel.h"

// The planes of a frame the run holds: the decoder's picture itself, or the one it was converted to.
struct DecodedPlanes final : PlaneStore {
    AVFrame* decoded = av_frame_alloc();
    AVFrame* converted = av_frame_alloc();
    ~DecodedPlanes() override {
        av_frame_free(&decoded);
        av_frame_free(&converted);
    }
};

// A video packet as the container gives it, in decode order.
struct PacketStamp {
    int64_t pts;
    int64_t dts;
    bool key;
    bool shown;  // false for a packet an edit list drops: decoded for others, never given out
};

namespace {

// Damaged packets the demuxer may give up on in a row before the input counts as ended there.
constexpr int kMostInvalidReads = 256;
// The demuxer tells of damage a few packets before or after the gap it leaves (its parser
// holds packets back): gaps in the time stamps of this many video packets count.
constexpr int kDamageReach = 8;
// Key frames tried, latest first, before a seek falls back to the stream's first packet.
constexpr int kSeekTries = 3;

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

// Whether the planes of `desc` can be handed out as the decoder gives them: planar YUV or grey of
// 8 to 16 bits in the machine's order, each sample in the low bits of its own byte or 16-bit word.
bool directPlanes(const AVPixFmtDescriptor* desc) {
    constexpr uint64_t converted = AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                                   AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BAYER | AV_PIX_FMT_FLAG_FLOAT;
    if (desc == nullptr || (desc->flags & converted) || strncmp(desc->name, "xyz", 3) == 0) return false;
    const bool bigEndian = (desc->flags & AV_PIX_FMT_FLAG_BE) != 0;
    if (bigEndian != (std::endian::native == std::endian::big) && desc->comp[0].depth > 8) return false;
    const int planes = desc->nb_components >= 3 ? 3 : 1;
    if (planes == 1 && desc->nb_components == 2 && !(desc->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
    const int depth = desc->comp[0].depth;
    for (int i = 0; i < planes; ++i) {
        const AVComponentDescriptor& c = desc->comp[i];
        if (c.plane != i || c.depth != depth || c.shift != 0 || c.offset != 0 || c.step != (depth > 8 ? 2 : 1))
            return false;
    }
    return depth >= 8 && depth <= 16;
}

// The planar YUV (or grey) format of the same depth and chroma layout that other formats are
// converted to; RGB and paletted pictures become 4:4:4.
AVPixelFormat planarTarget(const AVPixFmtDescriptor* desc, PictureFormat& picture) {
    int depth = 8;
    for (int i = 0; i < desc->nb_components; ++i) depth = std::max(depth, static_cast<int>(desc->comp[i].depth));
    depth = depth <= 8 ? 8 : depth <= 10 ? 10 : depth <= 12 ? 12 : 16;
    const bool grey = desc->nb_components <= 2 && !(desc->flags & AV_PIX_FMT_FLAG_PAL);
    const bool yuv = !(desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BAYER)) &&
                     strncmp(desc->name, "xyz", 3) != 0;
    picture.bitDepth = depth;
    picture.planes = grey ? 1 : 3;
    picture.log2ChromaWidth = grey || !yuv ? 0 : desc->log2_chroma_w;
    picture.log2ChromaHeight = grey || !yuv ? 0 : desc->log2_chroma_h;
    std::string name = planarFormatName(depth, picture.planes, picture.log2ChromaWidth, picture.log2ChromaHeight);
    AVPixelFormat target = name.empty() ? AV_PIX_FMT_NONE : av_get_pix_fmt(name.c_str());
    if (target == AV_PIX_FMT_NONE) {  // a layout FFmpeg has no deep planar format for
        picture.log2ChromaWidth = picture.log2ChromaHeight = 0;
        name = planarFormatName(depth, picture.planes, 0, 0);
        target = av_get_pix_fmt(name.c_str());
    }
    picture.convertedTo = name;
    return target;
}

std::optional<std::string> named(const char* name, bool unspecified) {
    if (unspecified || name == nullptr) return std::nullopt;
    return std::string(name);
}

// What the stream says of its pictures, by FFmpeg's names.
PictureFormat describePictures(const AVCodecParameters& video) {
    PictureFormat picture;
    const auto format = static_cast<AVPixelFormat>(video.format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    picture.pixelFormat = desc != nullptr ? desc->name : "unknown";
    if (directPlanes(desc)) {
        picture.bitDepth = desc->comp[0].depth;
        picture.planes = desc->nb_components >= 3 ? 3 : 1;
        picture.log2ChromaWidth = picture.planes == 3 ? desc->log2_chroma_w : 0;
        picture.log2ChromaHeight = picture.planes == 3 ? desc->log2_chroma_h : 0;
    } else if (desc != nullptr) {
        planarTarget(desc, picture);
    }
    const bool jpegRange = desc != nullptr && strncmp(desc->name, "yuvj", 4) == 0;
    picture.colorRange = named(av_color_range_name(video.color_range), video.color_range == AVCOL_RANGE_UNSPECIFIED);
    if (!picture.colorRange && jpegRange) picture.colorRange = "pc";
    picture.colorMatrix = named(av_color_space_name(video.color_space), video.color_space == AVCOL_SPC_UNSPECIFIED);
    picture.colorTransfer = named(av_color_transfer_name(video.color_trc), video.color_trc == AVCOL_TRC_UNSPECIFIED);
    picture.colorPrimaries =
        named(av_color_primaries_name(video.color_primaries), video.color_primaries == AVCOL_PRI_UNSPECIFIED);
    return picture;
}

// Whether an MP4 keeps its index after its data: reading its header (which ends with the index) went past
// the stream's first packet, which a pipe cannot go back to.
bool indexFollowsData(const AVFormatContext* format, AVStream* stream, int64_t headerEnd) {
    if (strncmp(format->iformat->name, "mov,", 4) != 0) return false;
    const AVIndexEntry* first = avformat_index_get_entry(stream, 0);
    return first != nullptr && first->pos < headerEnd;
}

// The variant of the CPU's level, as the program's kernel table has it.
DeepToBytesKernel* const deepToBytes = bestVariant(deepToBytesVariants());

int64_t steadyNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The order of a packet in the stream: its decode time stamp, else its presentation one.
int64_t decodeOrder(const PacketStamp& s) { return s.dts != AV_NOPTS_VALUE ? s.dts : s.pts; }

std::size_t shownCount(const std::vector<PacketStamp>& stamps) {
    return static_cast<std::size_t>(std::count_if(stamps.begin(), stamps.end(), [](const PacketStamp& s) { return s.shown; }));
}

// The n-th smallest presentation time stamp of the packets shown (n from 0, n < shownCount).
int64_t nthPts(const std::vector<PacketStamp>& stamps, std::size_t n) {
    std::vector<int64_t> order;
    order.reserve(stamps.size());
    for (const PacketStamp& s : stamps)
        if (s.shown) order.push_back(s.pts);
    std::nth_element(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n), order.end());
    return order[n];
}

}  // namespace

FfmpegSource::FfmpegSource(std::string path)
    : path_(std::move(path)), startPts_(AV_NOPTS_VALUE), skipBelowPts_(AV_NOPTS_VALUE), firstPts_(AV_NOPTS_VALUE), lastPts_(AV_NOPTS_VALUE), lastDts_(AV_NOPTS_VALUE) {}

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
            // Reads give up on a stop or a silent input; a UDP receiver that fell behind drops packets instead of failing.
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
    if (code < 0) return "Could not open the " + std::string(decoder->name) + " decoder for " + path_ + ": " + errorText(code);
    if (video->codecpar->width <= 0 || video->codecpar->height <= 0) return path_ + " does not state its frame size";

    const std::string names = format_->iformat->name;  // e.g. "matroska,webm": the first is the container's own
    info_.format = names.substr(0, names.find(','));
    info_.width = static_cast<uint32_t>(video->codecpar->width);
    info_.height = static_cast<uint32_t>(video->codecpar->height);
    if (video->avg_frame_rate.num > 0 && video->avg_frame_rate.den > 0) info_.fps = av_q2d(video->avg_frame_rate);
    if (video->nb_frames > 0) info_.frameCount = indexedShownFrames(format_->streams[streamIndex_]).value_or(video->nb_frames);
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
        result.message = "no data came from " + path_ + " for " + std::to_string(int(live_->timeoutSeconds + 0.5)) + " s";
    return result;
}

std::optional<double> FfmpegSource::secondsOf(int64_t pts) const {
    const int64_t start = startPts_ != AV_NOPTS_VALUE ? startPts_ : firstPts_;
    if (!info_.presentationTimes || pts == AV_NOPTS_VALUE || start == AV_NOPTS_VALUE) return std::nullopt;
    const AVRational base = format_->streams[streamIndex_]->time_base;
    // One rounding: 1400 / 1000 gives 1.4, where 1400 * 0.001 gives 1.4000000000000001.
    return static_cast<double>(pts - start) * base.num / base.den;
}

bool FfmpegSource::shownBeforeLastGiven(int64_t pts) const { return lastPts_ != AV_NOPTS_VALUE && pts < lastPts_; }

int64_t FfmpegSource::lostBefore(const DemuxLoss& loss, int64_t pts) const {
    // Frames lost in the container were shown where the presentation times of the frames given
    // leap by more than a frame, past the packets decoded before them (a packet is shown no sooner
    // than it is decoded): each leap holds as many as it is wide. A segment measures a leap from the
    // frame before its first, so that it counts the frames lost just before its first frame as the
    // whole run does, and no others.
    const int64_t step = loss.step;
    if (step <= 0) return loss.resumed <= pts ? loss.frames : 0;
    if (shownBefore_ != AV_NOPTS_VALUE && pts - shownBefore_ > step + step / 2 && pts - step > loss.before)
        return (pts - shownBefore_ + step / 2) / step - 1;
    if (pts < loss.resumed + kDamageReach * step) return 0;
    // No leap among the frames given, well past it: frames never to be shown, or in a segment
    // frames shown before its first, which the part before it counts (-1: none here).
    return firstShownBefore_ == AV_NOPTS_VALUE || loss.before >= firstShownBefore_ ? loss.frames : -1;
}

void FfmpegSource::noteLosses(std::optional<int64_t> pts) {
    int64_t lost = 0;
    while (!pending_.empty() && (!pts || pending_.top() < *pts)) {
        pending_.pop();
        ++lost;
    }
    if (pts && !pending_.empty() && pending_.top() == *pts) pending_.pop();
    while (!demuxLosses_.empty()) {
        DemuxLoss& loss = demuxLosses_.front();
        const int64_t here = pts ? lostBefore(loss, *pts) : loss.frames;
        if (here > 0) lost += std::min(here, loss.frames);
        if (here >= 0 && here < loss.frames) {
            loss.frames -= here;
            break;
        }
        demuxLosses_.erase(demuxLosses_.begin());
    }
    if (pts) {
        lastPts_ = shownBefore_ = *pts;
        given_[givenTotal_++ % given_.size()] = {next_, *pts};
    }
    lost += unstampedLosses_;
    unstampedLosses_ = 0;
    if (!pts) {
        lost += std::max<int64_t>(0, unstampedSent_ - unstampedReceived_);
        unstampedSent_ = unstampedReceived_ = 0;
    }
    // Frames lost at the end would have followed the last one given.
    const int64_t at = pts ? *pts : lastPts_ != AV_NOPTS_VALUE && frameTicks_ > 0 ? lastPts_ + frameTicks_ : AV_NOPTS_VALUE;
    if (lost > 0) info_.decodeErrors.push_back(DecodeError{next_, secondsOf(at), lost});
}

void FfmpegSource::noteLateLoss(int64_t pts) {
    // It is lost before the first frame given that is shown after it, as it would have been had the
    // decoder given that frame later (as it does on more threads): the oldest recent frame when none is.
    const std::size_t kept = std::min(givenTotal_, given_.size());
    std::pair<int64_t, int64_t> at = given_[(givenTotal_ - kept) % given_.size()];
    for (std::size_t i = givenTotal_ - kept; i < givenTotal_; ++i)
        if (given_[i % given_.size()].second > pts) {
            at = given_[i % given_.size()];
            break;
        }
    auto& errors = info_.decodeErrors;
    const auto place = std::lower_bound(errors.begin(), errors.end(), at.first,
                                        [](const DecodeError& e, int64_t frame) { return e.frame < frame; });
    if (place != errors.end() && place->frame == at.first) ++place->frames;
    else errors.insert(place, DecodeError{at.first, secondsOf(at.second), 1});
}

void FfmpegSource::noteDemuxGap(int64_t dts, int64_t pts) {
    // Packets the demuxer could not make out never reach the decoder. After damage, a gap in the
    // decode time stamps of a stream of constant rate tells how many frames they held.
    // A packet without a decode time stamp, or with one past its presentation time stamp (a packet
    // is never decoded after it is shown: damaged itself), tells nothing of frames lost. It takes
    // the next frame's place in decode order.
    // So does one whose decode time stamp goes back near damage (a piece of an earlier packet).
    const bool back = demuxDamage_ > 0 && lastDts_ != AV_NOPTS_VALUE && dts != AV_NOPTS_VALUE && dts <= lastDts_;
    if (dts == AV_NOPTS_VALUE || (pts != AV_NOPTS_VALUE && dts > pts) || back) {
        if (dts != AV_NOPTS_VALUE) demuxDamage_ = kDamageReach;
        if (lastDts_ != AV_NOPTS_VALUE) lastDts_ += frameTicks_;
        return;
    }
    // Without damage, a regular stream that skips whole frames lost them in the container.
    const int64_t skipped = lastDts_ != AV_NOPTS_VALUE ? rhythm_.missingBefore(dts, lastDts_) : 0;
    // Where the frames lost were shown, and whether a segment holds them, the frames given tell (noteLosses).
    const bool shown = pts != AV_NOPTS_VALUE;
    if (demuxDamage_ > 0 && lastDts_ != AV_NOPTS_VALUE && frameTicks_ > 0 && dts > lastDts_ && shown) {
        const int64_t missing = (dts - lastDts_ + frameTicks_ / 2) / frameTicks_ - 1;
        // They stand before the first frame shown from the time the stream resumed.
        if (missing > 0) demuxLosses_.push_back({lastDts_, dts, missing, (dts - lastDts_) / (missing + 1)});
    } else if (skipped > 0 && shown) {
        demuxLosses_.push_back({lastDts_, dts, skipped, (dts - lastDts_) / (skipped + 1)});
    }
    demuxDamage_ = std::max(0, demuxDamage_ - 1);
    lastDts_ = dts;
}

ReadResult FfmpegSource::sendNextPacket() {
    if (!heldPacket_) {
        const long warnings = ffmpegMessagesOnThisThread();
        const int code = av_read_frame(format_, packet_);
        if (code == AVERROR_INVALIDDATA || ffmpegMessagesOnThisThread() != warnings) demuxDamage_ = kDamageReach;
        if (code == AVERROR_INVALIDDATA && ++invalidReads_ < kMostInvalidReads) return ReadResult{};
        if (code == AVERROR_EOF || code == AVERROR_INVALIDDATA) {
            flushing_ = true;  // the decoder still holds the frames it delays
            avcodec_send_packet(codec_, nullptr);
            return ReadResult{};
        }
        if (code < 0) return failure("Could not read frame " + std::to_string(next_) + " of " + path_, code);
        lastActivity_ = steadyNanoseconds();
    }
    heldPacket_ = false;
    invalidReads_ = 0;
    if (packet_->stream_index != streamIndex_) {
        if (packet_->stream_index == audioIndex_) decodeAudio(packet_);
        const auto index = static_cast<std::size_t>(packet_->stream_index);
        if (index < meters_.size() && meters_[index]) meters_[index]->add(packet_);
        av_packet_unref(packet_);
        return ReadResult{};
    }
    const int64_t pts = packet_->pts;
    const bool discarded = (packet_->flags & AV_PKT_FLAG_DISCARD) != 0;
    if (packet_->flags & AV_PKT_FLAG_CORRUPT) demuxDamage_ = kDamageReach;
    noteDemuxGap(packet_->dts, pts);
    skipUnneeded(pts);
    const int code = avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    if (code == AVERROR_INVALIDDATA) ++status_.decodeErrors;
    if (code == AVERROR(ENOMEM)) return failure("Could not decode frame " + std::to_string(next_) + " of " + path_, code);
    // A packet the decoder rejects is lost like one whose frame never comes out: the decoder has said why.
    if (pts == AV_NOPTS_VALUE) {
        // The decoder tells of an earlier packet's failure when the next is sent (with frame threads,
        // of one several packets back): one of those still pending is counted when its frame fails to come.
        if (code < 0 && pending_.empty()) ++unstampedLosses_;
        else if (!discarded) ++unstampedSent_;
    } else if ((skipBelowPts_ == AV_NOPTS_VALUE || pts >= skipBelowPts_) && !discarded) {
        // A frame an edit list drops is not lost: it was never to be shown.
        if (shownBeforeLastGiven(pts)) noteLateLoss(pts);
        else pending_.push(pts);
    }
    return ReadResult{};
}

ReadResult FfmpegSource::decodeNext() {
    for (int failed = 0;;) {
        int code = avcodec_receive_frame(codec_, frame_);
        if (code == 0) {
            const int64_t pts = frame_->pts;
            if (pts == AV_NOPTS_VALUE) {
                ++unstampedReceived_;
                if (unstampedLosses_ > 0) info_.decodeErrors.push_back(DecodeError{next_, std::nullopt, unstampedLosses_});
                unstampedLosses_ = 0;
                return ReadResult{};
            }
            if (skipBelowPts_ != AV_NOPTS_VALUE && pts < skipBelowPts_) {
                av_frame_unref(frame_);
                continue;
            }
            // After damage, a decoder may give a frame after frames shown later than it: it was counted
            // as lost when they came, and is not shown out of its order.
            if (shownBeforeLastGiven(pts)) {
                av_frame_unref(frame_);
                continue;
            }
            if (firstPts_ == AV_NOPTS_VALUE) firstPts_ = pts;
            holdFfmpegSummary(false);
            noteLosses(pts);
            return ReadResult{};
        }
        if (code == AVERROR_EOF || (code == AVERROR(EAGAIN) && flushing_)) {
            noteLosses(std::nullopt);
            for (auto& meter : meters_)
                if (meter) meter->add(nullptr);
            ReadResult end;
            end.status = ReadResult::End;
            return end;
        }
        if (live_ && code == AVERROR_INVALIDDATA) {
            ++status_.decodeErrors;  // a live stream goes on past any damage
            continue;
        }
        if (code != AVERROR(EAGAIN)) {
            // The decoder failed a frame (with frame threads, a damaged packet shows here): it counts
            // as lost where the next frame comes out, as it would with one thread.
            if (code == AVERROR(ENOMEM) || ++failed > kMostInvalidReads)
                return failure("Could not decode frame " + std::to_string(next_) + " of " + path_, code);
            continue;
        }
        ReadResult sent = sendNextPacket();
        if (sent.status != ReadResult::Frame) return sent;
    }
}

void FfmpegSource::skipUnneeded(int64_t pts) {
    // After a seek, an H.264 frame shown before the first one wanted that no frame refers to
    // (nal_ref_idc 0) changes nothing the run sees: the decoder passes over it.
    if (codec_->codec_id != AV_CODEC_ID_H264) return;
    const bool unneeded = skipBelowPts_ != AV_NOPTS_VALUE && pts != AV_NOPTS_VALUE && pts < skipBelowPts_;
    codec_->skip_frame = unneeded ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
}

void FfmpegSource::seedRhythm(const std::vector<PacketStamp>& stamps, std::size_t target) {
    // The steps of the decode time stamps before the packet decoding starts from, as a run from the
    // start saw them: a segment then finds the frames its container lost as that run does.
    constexpr std::size_t kSteps = 16;
    for (std::size_t i = target > kSteps ? target - kSteps : 0; i < target; ++i) {
        const int64_t dts = stamps[i].dts;
        if (dts != AV_NOPTS_VALUE && lastDts_ != AV_NOPTS_VALUE) rhythm_.missingBefore(dts, lastDts_);
        lastDts_ = dts;
    }
}

bool FfmpegSource::seekToPacket(const std::vector<PacketStamp>& stamps, std::size_t target) {
    const PacketStamp& wanted = stamps[target];
    if (av_seek_frame(format_, streamIndex_, decodeOrder(wanted), AVSEEK_FLAG_BACKWARD) < 0) return false;
    // Where each packet stands in decode order, to tell whether the seek landed before or after the target.
    std::unordered_map<int64_t, std::size_t> positions;
    for (std::size_t i = 0; i < stamps.size(); ++i) positions.emplace(stamps[i].pts, i);
    // A seek may land before the packets read (on an earlier key frame): those are passed over.
    bool inStamps = false;
    for (int invalid = 0;;) {
        const int code = av_read_frame(format_, packet_);
        if (code == AVERROR_INVALIDDATA && ++invalid < kMostInvalidReads) continue;
        if (code < 0) return false;
        if (packet_->stream_index == streamIndex_) {
            const auto found = positions.find(packet_->pts);
            if (found == positions.end() && !inStamps) {
                av_packet_unref(packet_);
                continue;
            }
            inStamps = true;
            if (found == positions.end() || found->second > target) break;
            if (found->second == target) {
                heldPacket_ = true;
                return true;
            }
        }
        av_packet_unref(packet_);
    }
    av_packet_unref(packet_);
    return false;
}

std::vector<PacketStamp> FfmpegSource::readStamps(int64_t index) {
    // The time stamps of the packets up to frame `index` in presentation order: every packet has a
    // decode time stamp no later than its presentation one, so once a packet is decoded after the
    // index-th smallest presentation time stamp, no later packet can come before it.
    const auto wanted = static_cast<std::size_t>(index);
    std::vector<PacketStamp> stamps;
    std::size_t shown = 0;
    for (int invalid = 0;;) {
        const int code = heldPacket_ ? 0 : av_read_frame(format_, packet_);
        heldPacket_ = false;
        if (code == AVERROR_INVALIDDATA && ++invalid < kMostInvalidReads) continue;
        if (code < 0) break;
        const bool video = packet_->stream_index == streamIndex_;
        const PacketStamp stamp{packet_->pts, packet_->dts, (packet_->flags & AV_PKT_FLAG_KEY) != 0,
                                !(packet_->flags & AV_PKT_FLAG_DISCARD)};
        av_packet_unref(packet_);
        if (!video) continue;
        if (stamp.pts == AV_NOPTS_VALUE) return {};
        stamps.push_back(stamp);
        shown += stamp.shown;
        if (shown > wanted && stamps.size() % 32 == 0 && decodeOrder(stamp) > nthPts(stamps, wanted)) break;
    }
    return stamps;
}

FfmpegSource::Seek FfmpegSource::seekTo(int64_t index) {
    if (pipe_ != nullptr || format_->pb == nullptr || !(format_->pb->seekable & AVIO_SEEKABLE_NORMAL) ||
        (format_->iformat->flags & AVFMT_NOTIMESTAMPS))
        return Seek::FromStart;
    // Packets before the first one read, in decode order. A container that indexes every packet
    // tells it for a key frame near the start, and the packets before that key frame need not be
    // read: they are all shown before the packets from it on.
    int64_t before = 0;
    std::vector<PacketStamp> stamps;
    AVStream* video = format_->streams[streamIndex_];
    if (const std::optional<int64_t> key = indexedKeyFrame(video, index)) {
        // The index tells which key frame the seek landed on.
        std::optional<int64_t> landed;
        if (av_seek_frame(format_, streamIndex_, *key, AVSEEK_FLAG_BACKWARD) >= 0 && av_read_frame(format_, packet_) >= 0) {
            heldPacket_ = true;  // the first of the stamps
            if (packet_->stream_index == streamIndex_ && (packet_->flags & AV_PKT_FLAG_KEY) && packet_->dts <= *key)
                landed = indexedPacketsBefore(video, packet_->dts);
        }
        if (landed && *landed <= index) {
            before = *landed;
            stamps = readStamps(index - before);
        }
        if (stamps.empty()) {
            av_packet_unref(packet_);
            heldPacket_ = false;
            if (!rewind()) return Seek::Failed;
        }
    }
    if (stamps.empty()) {
        before = 0;
        stamps = readStamps(index);
    }
    const auto wanted = static_cast<std::size_t>(index - before);
    if (shownCount(stamps) <= wanted) {
        // No time stamps, or fewer packets than the start: decoding from the start decides.
        if (before == 0 && !stamps.empty() && seekToPacket(stamps, 0)) return Seek::FromStart;
        return rewind() ? Seek::FromStart : Seek::Failed;
    }
    const int64_t needed = nthPts(stamps, wanted);
    // The last key frame at or before the frame wanted, then earlier ones, then the first packet.
    std::vector<std::size_t> tries;
    for (std::size_t i = stamps.size(); i-- > 0 && tries.size() < kSeekTries;)
        if (stamps[i].key && stamps[i].pts <= needed) tries.push_back(i);
    // Decoding starts a key frame earlier where there is one: after the key frame of an open GOP
    // (no IDR), the decoder gives no frame that may lean on pictures before it, and lost the last
    // frames of a segment that started in a stream's last GOP.
    if (tries.size() > 1) std::swap(tries[0], tries[1]);
    for (std::size_t target : tries) {
        if (!seekToPacket(stamps, target)) continue;
        avcodec_flush_buffers(codec_);
        skipBelowPts_ = needed;
        shownBefore_ = firstShownBefore_ = wanted > 0 ? nthPts(stamps, wanted - 1) : AV_NOPTS_VALUE;
        seedRhythm(stamps, target);
        next_ = index;
        holdFfmpegSummary(true);
        return Seek::Done;
    }
    avcodec_flush_buffers(codec_);
    return (before == 0 && seekToPacket(stamps, 0)) || rewind() ? Seek::FromStart : Seek::Failed;
}

bool FfmpegSource::rewind() {
    if (av_seek_frame(format_, -1, 0, AVSEEK_FLAG_BYTE) >= 0) return true;
    return avformat_seek_file(format_, -1, INT64_MIN, INT64_MIN, INT64_MIN, 0) >= 0;
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
            } else if (!bigEndian && y->step == 2 && y->shift == 0) {
                deepToBytes(in, out, width, y->depth);  // planar little-endian samples, the usual decoder output
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

ReadResult FfmpegSource::holdPlanes(Frame& frame) {
    DecodedPlanes& store = planeStoreOf<DecodedPlanes>(frame);
    if (store.decoded == nullptr || store.converted == nullptr) return failure("Out of memory reading " + path_, AVERROR(ENOMEM));
    const auto format = static_cast<AVPixelFormat>(frame_->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(format);
    AVFrame* held = store.decoded;
    av_frame_unref(store.decoded);
    PictureFormat layout;
    if (directPlanes(desc)) {
        // The decoder's picture, by reference: no copy, and its memory returns to the pool once read again.
        av_frame_move_ref(store.decoded, frame_);
        layout.bitDepth = desc->comp[0].depth;
        layout.planes = desc->nb_components >= 3 ? 3 : 1;
        layout.log2ChromaWidth = desc->log2_chroma_w;
        layout.log2ChromaHeight = desc->log2_chroma_h;
    } else {
        if (desc == nullptr) return failure("Frame " + std::to_string(next_) + " of " + path_ + " has no pixel format");
        const AVPixelFormat target = planarTarget(desc, layout);
        AVFrame* out = store.converted;
        if (out->format != target || out->width != frame_->width || out->height != frame_->height) {
            av_frame_unref(out);
            out->format = target;
            out->width = frame_->width;
            out->height = frame_->height;
            if (target == AV_PIX_FMT_NONE || av_frame_get_buffer(out, 0) < 0)
                return failure("Out of memory reading " + path_, AVERROR(ENOMEM));
        }
        if (planeSws_ == nullptr || planeSwsFormat_ != format) {
            sws_freeContext(planeSws_);
            planeSws_ = sws_getContext(frame_->width, frame_->height, format, frame_->width, frame_->height, target,
                                       SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
            if (planeSws_ == nullptr)
                return failure("Cannot convert the " + std::string(desc->name) + " pixels of " + path_ +
                               " to planar YUV");
            planeSwsFormat_ = format;
            if (desc->flags & AV_PIX_FMT_FLAG_RGB) {  // as the luma: BT.601 into the limited range
                const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
                sws_setColorspaceDetails(planeSws_, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
            }
        }
        sws_scale(planeSws_, frame_->data, frame_->linesize, 0, frame_->height, out->data, out->linesize);
        held = out;
    }
    Picture& picture = frame.picture;
    picture.planeCount = layout.planes;
    picture.bitDepth = layout.bitDepth;
    for (int i = 0; i < 3; ++i) {
        const bool chroma = i > 0;
        const int w = chroma ? AV_CEIL_RSHIFT(held->width, layout.log2ChromaWidth) : held->width;
        const int h = chroma ? AV_CEIL_RSHIFT(held->height, layout.log2ChromaHeight) : held->height;
        picture.planes[static_cast<std::size_t>(i)] =
            i < layout.planes ? SamplePlane{held->data[i], held->linesize[i], static_cast<uint32_t>(w),
                                            static_cast<uint32_t>(h)}
                              : SamplePlane{};
    }
    return ReadResult{};
}

ReadResult FfmpegSource::readFrame(int64_t index, Frame& frame) {
    Image& luma = frame.luma;
    if (luma.data == nullptr || luma.w != info_.width || luma.h != info_.height)
        return failure("Frame " + std::to_string(index) + " of " + path_ + " was asked for in a plane of another size");
    if (!started_) {
        started_ = true;
        const Seek seek = index > 0 ? seekTo(index) : Seek::Done;
        if (seek == Seek::Failed) return failure("Could not go to frame " + std::to_string(index) + " of " + path_);
        if (seek == Seek::FromStart)
            av_log(nullptr, AV_LOG_WARNING, "%s: the frames before frame %lld are decoded to reach it\n",
                   path_.c_str(), static_cast<long long>(index));
    }
    if (index < next_) return failure("Cannot go back to frame " + std::to_string(index) + " of " + path_);
    for (;;) {
        if (transport_) transport_->setFrame(next_);
        ReadResult result = decodeNext();
        if (result.status != ReadResult::Frame) return result;
        const bool damaged = damage_.judge(frame_, framesLost(info_.decodeErrors));
        if (next_ == index) {
            result = copyLuma(luma);
            result.damaged = damaged;
            result.time = secondsOf(frame_->pts != AV_NOPTS_VALUE ? frame_->pts : frame_->best_effort_timestamp);
            frame.picture.planeCount = 0;
            if (result.status == ReadResult::Frame && frame.wantPlanes) {
                const ReadResult held = holdPlanes(frame);
                if (held.status != ReadResult::Frame) result = held;
            }
            av_frame_unref(frame_);
            ++next_;
            return result;
        }
        av_frame_unref(frame_);
        ++next_;
    }
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
            if (!std::isnan(o.time)) o.frame = std::max<int64_t>(0, static_cast<int64_t>(std::floor((o.time - start) * fps)));
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
        if (audio_ == nullptr || audioFrame_ == nullptr || avcodec_parameters_to_context(audio_, stream->codecpar) < 0 ||
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
        if (audioFrame_->sample_rate > 0) status_.audioSeconds += double(audioFrame_->nb_samples) / audioFrame_->sample_rate;
        av_frame_unref(audioFrame_);
    }
}

StreamStatus FfmpegSource::takeStreamStatus() {
    StreamStatus taken = status_;
    status_ = StreamStatus{};
    status_.hasAudio = taken.hasAudio;
    if (audioIndex_ >= 0 && static_cast<std::size_t>(audioIndex_) < meters_.size() && meters_[static_cast<std::size_t>(audioIndex_)]) {
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
