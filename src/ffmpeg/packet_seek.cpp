// FfmpegSource: the stream's time stamps, and going to a start frame by the time stamps of its
// video packets (read without decoding) and a seek to the key frame decoding starts from.
#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/ffmpeg_source.h"
#include "ffmpeg/packet_index.h"
#include "ffmpeg/source_parts.h"

namespace {

// Key frames tried, latest first, before a seek falls back to the stream's first packet.
constexpr int kSeekTries = 3;

std::size_t shownCount(const std::vector<PacketStamp>& stamps) {
    return static_cast<std::size_t>(
        std::count_if(stamps.begin(), stamps.end(), [](const PacketStamp& s) { return s.shown; }));
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

std::optional<double> FfmpegSource::secondsOf(int64_t pts) const {
    const int64_t start = startPts_ != AV_NOPTS_VALUE ? startPts_ : firstPts_;
    if (!info_.presentationTimes || pts == AV_NOPTS_VALUE || start == AV_NOPTS_VALUE) return std::nullopt;
    const AVRational base = format_->streams[streamIndex_]->time_base;
    // One rounding: 1400 / 1000 gives 1.4, where 1400 * 0.001 gives 1.4000000000000001.
    return static_cast<double>(pts - start) * base.num / base.den;
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
    if (const std::optional<int64_t> key = indexedKeyFrame(video, index, kRhythmSeedPackets)) {
        // The index tells which key frame the seek landed on.
        std::optional<int64_t> landed;
        if (av_seek_frame(format_, streamIndex_, *key, AVSEEK_FLAG_BACKWARD) >= 0 &&
            av_read_frame(format_, packet_) >= 0) {
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
