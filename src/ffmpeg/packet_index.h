// What a container's own index tells of a video stream's packets without reading them.
#pragma once

#include <cstdint>
#include <optional>

struct AVStream;

// A decode time stamp to seek back from to read the packets' time stamps that find frame `index`
// in presentation order, when the index lists every packet of the stream in decode order (MP4 and
// QuickTime do): that of the packet before the last key frame at or before packet `index`, so
// that the seek lands on the key frame before it or earlier (seeks in MP4 land up to the decoder's
// delay early), and a frame shown before its own key frame (an open group of pictures) is still
// reached from the one before. That key frame stands at least `leadPackets` packets before packet
// `index`, so that the rhythm of the decode time stamps before the frame wanted is read too (with
// short groups of pictures, a frame lost just after it would otherwise go unseen). None when the
// index does not list every packet, or lists frames the decoder drops (an edit list's), or no
// such key frame stands past the first packet.
std::optional<int64_t> indexedKeyFrame(AVStream* stream, int64_t index, int64_t leadPackets);

// The number of packets before the key frame of decode time stamp `dts`, by the same index.
std::optional<int64_t> indexedPacketsBefore(AVStream* stream, int64_t dts);

// The frames the stream shows when its index lists one entry for every packet: the entries less
// those an edit list drops, which the decoder never gives out. None without such an index.
std::optional<int64_t> indexedShownFrames(AVStream* stream);

// The frames of a stream whose count (an AVI header's) includes empty packets that only keep its
// clock where a frame was left out (ffmpeg copies H.264 into AVI with one after every frame), and
// whose index, one tick a packet, lists the others: their number, when the index reaches the
// stream's end. None when the index lists every packet or stops short.
std::optional<int64_t> indexedFramesAmongEmptyPackets(AVStream* stream);
