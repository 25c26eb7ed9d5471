// FfmpegSource: the accounting of frames lost, by the decoder (packets rejected, frames that
// never came out or came too late) and by the demuxer (gaps in the packets' time stamps), each
// recorded in info().decodeErrors at the frame it was lost before.
#include <algorithm>
#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
}

#include "ffmpeg/ffmpeg_source.h"
#include "ffmpeg/source_parts.h"

namespace {

// The demuxer tells of damage a few packets before or after the gap it leaves (its parser
// holds packets back): gaps in the time stamps of this many video packets count.
constexpr int kDamageReach = 8;

}  // namespace

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
    const int64_t at = pts                                             ? *pts
                       : lastPts_ != AV_NOPTS_VALUE && frameTicks_ > 0 ? lastPts_ + frameTicks_
                                                                       : AV_NOPTS_VALUE;
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

void FfmpegSource::noteDemuxDamage() { demuxDamage_ = kDamageReach; }

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

void FfmpegSource::noteSent(int64_t pts, int code, bool discarded) {
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
}

void FfmpegSource::noteUnstampedFrame() {
    ++unstampedReceived_;
    if (unstampedLosses_ > 0) info_.decodeErrors.push_back(DecodeError{next_, std::nullopt, unstampedLosses_});
    unstampedLosses_ = 0;
}

void FfmpegSource::seedRhythm(const std::vector<PacketStamp>& stamps, std::size_t target) {
    // The steps of the decode time stamps before the packet decoding starts from, as a run from the
    // start saw them: a segment then finds the frames its container lost as that run does.
    for (std::size_t i = target > kRhythmSeedPackets ? target - kRhythmSeedPackets : 0; i < target; ++i) {
        const int64_t dts = stamps[i].dts;
        if (dts != AV_NOPTS_VALUE && lastDts_ != AV_NOPTS_VALUE) rhythm_.missingBefore(dts, lastDts_);
        lastDts_ = dts;
    }
}
