#include "ffmpeg/packet_index.h"

#include <algorithm>
#include <limits>

extern "C" {
#include <libavformat/avformat.h>
}

namespace {

// Whether the index lists every packet, in decode order, none of them dropped by the decoder.
bool listsEveryPacket(AVStream* stream) {
    const int count = avformat_index_get_entries_count(stream);
    if (count <= 0 || stream->nb_frames != count) return false;
    int64_t previous = std::numeric_limits<int64_t>::min();
    for (int i = 0; i < count; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(stream, i);
        if (e == nullptr || (e->flags & AVINDEX_DISCARD_FRAME) || e->timestamp <= previous) return false;
        previous = e->timestamp;
    }
    return true;
}

}  // namespace

std::optional<int64_t> indexedKeyFrame(AVStream* stream, int64_t index, int64_t leadPackets) {
    if (!listsEveryPacket(stream)) return std::nullopt;
    const int count = avformat_index_get_entries_count(stream);
    int keys = 0, last = 0;
    for (auto i = static_cast<int>(std::min<int64_t>(index, count - 1)); i > 0; --i) {
        if (!(avformat_index_get_entry(stream, i)->flags & AVINDEX_KEYFRAME)) continue;
        if (++keys >= 2 && index - i >= leadPackets) return avformat_index_get_entry(stream, last)->timestamp;
        last = i - 1;
    }
    return std::nullopt;
}

std::optional<int64_t> indexedPacketsBefore(AVStream* stream, int64_t dts) {
    if (!listsEveryPacket(stream)) return std::nullopt;
    int low = 0, high = avformat_index_get_entries_count(stream);
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (avformat_index_get_entry(stream, middle)->timestamp < dts) low = middle + 1;
        else high = middle;
    }
    const AVIndexEntry* e = avformat_index_get_entry(stream, low);
    if (e == nullptr || e->timestamp != dts || !(e->flags & AVINDEX_KEYFRAME)) return std::nullopt;
    return low;
}

std::optional<int64_t> indexedShownFrames(AVStream* stream) {
    const int count = avformat_index_get_entries_count(stream);
    if (count <= 0 || stream->nb_frames != count) return std::nullopt;
    int64_t shown = 0;
    for (int i = 0; i < count; ++i) shown += !(avformat_index_get_entry(stream, i)->flags & AVINDEX_DISCARD_FRAME);
    return shown;
}

std::optional<int64_t> indexedFramesAmongEmptyPackets(AVStream* stream) {
    const int count = avformat_index_get_entries_count(stream);
    if (count <= 0 || stream->nb_frames <= count) return std::nullopt;
    int64_t widestGap = 0;
    for (int i = 1; i < count; ++i)
        widestGap = std::max(widestGap, avformat_index_get_entry(stream, i)->timestamp -
                                            avformat_index_get_entry(stream, i - 1)->timestamp - 1);
    // Without gaps the index holds only the packets read so far; past its last entry there are
    // no more empty packets than in its widest gap when it reaches the end.
    const int64_t last = avformat_index_get_entry(stream, count - 1)->timestamp;
    if (widestGap <= 0 || stream->nb_frames - (last + 1) > widestGap) return std::nullopt;
    return count;
}
