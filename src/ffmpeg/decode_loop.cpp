// FfmpegSource: the decode loop. Packets are read and sent to the decoder, and its frames
// taken out in presentation order until the frame asked for comes; what is lost on the way
// is told to the loss accounting (decode_losses.cpp).
#include <cerrno>
#include <cstdint>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/ffmpeg_source.h"
#include "ffmpeg/source_parts.h"

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

ReadResult FfmpegSource::decodeNext() {
    for (int failed = 0;;) {
        int code = avcodec_receive_frame(codec_, frame_);
        if (code == 0) {
            const int64_t pts = frame_->pts;
            if (pts == AV_NOPTS_VALUE) {
                noteUnstampedFrame();
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

ReadResult FfmpegSource::sendNextPacket() {
    if (!heldPacket_) {
        const long warnings = ffmpegMessagesOnThisThread();
        const int code = av_read_frame(format_, packet_);
        if (code == AVERROR_INVALIDDATA || ffmpegMessagesOnThisThread() != warnings) noteDemuxDamage();
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
    if (packet_->flags & AV_PKT_FLAG_CORRUPT) noteDemuxDamage();
    noteDemuxGap(packet_->dts, pts);
    skipUnneeded(pts);
    const int code = avcodec_send_packet(codec_, packet_);
    av_packet_unref(packet_);
    if (code == AVERROR_INVALIDDATA) ++status_.decodeErrors;
    if (code == AVERROR(ENOMEM))
        return failure("Could not decode frame " + std::to_string(next_) + " of " + path_, code);
    noteSent(pts, code, discarded);
    return ReadResult{};
}

void FfmpegSource::skipUnneeded(int64_t pts) {
    // After a seek, an H.264 frame shown before the first one wanted that no frame refers to
    // (nal_ref_idc 0) changes nothing the run sees: the decoder passes over it.
    if (codec_->codec_id != AV_CODEC_ID_H264) return;
    const bool unneeded = skipBelowPts_ != AV_NOPTS_VALUE && pts != AV_NOPTS_VALUE && pts < skipBelowPts_;
    codec_->skip_frame = unneeded ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
}
