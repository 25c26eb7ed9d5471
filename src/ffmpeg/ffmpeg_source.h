// Decoded input: one video stream of any container and codec that FFmpeg's
// libraries read, from a file or a pipe. 8-bit YUV and grey frames give their
// luma plane as it is; deeper YUV and grey samples are measured on their 8
// most significant bits; every other format (RGB, palettes, ...) is converted
// to 8-bit luma by swscale with the BT.601 matrix into the limited range 16-235.
// When the run reads the planes, planar YUV and grey pictures are handed out as
// the decoder gives them (held by reference, no copy) and every other format is
// converted once to planar YUV of its depth.
//
// Frames are numbered in presentation order from the start of the stream. A
// start past frame 0 of a seekable file is reached by reading the packets'
// time stamps (no decoding) up to it, from a key frame shortly before it where
// the container indexes every packet (MP4), else from the start; then decoding
// from the last key frame at or before it. Frames the decoder drops or rejects are not numbered; they are
// recorded in info().decodeErrors where they were lost.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <queue>
#include <string>
#include <variant>
#include <vector>

#include "ffmpeg/frame_damage.h"
#include "ffmpeg/loudness_meter.h"
#include "ffmpeg/picture_pool.h"
#include "ffmpeg/pipe_input.h"
#include "ffmpeg/transport_tap.h"
#include "io/ffmpeg_module_interface.h"
#include "io/frame_source.h"
#include "transport/ts_analyzer.h"

struct AVDictionary;
struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct PacketStamp;
struct SwsContext;

class FfmpegSource : public FrameSource {
public:
    static std::variant<std::unique_ptr<FfmpegSource>, std::string> open(const ContainerRequest& request);

    // Opens the first video stream of a URL or file as a live stream (see LiveOpenOptions).
    static std::variant<std::unique_ptr<FfmpegSource>, std::string> openLive(const std::string& url,
                                                                            const LiveOpenOptions& options);

    ~FfmpegSource() override;
    FfmpegSource(const FfmpegSource&) = delete;
    FfmpegSource& operator=(const FfmpegSource&) = delete;

    const SourceInfo& info() const override { return info_; }
    ReadResult readFrame(int64_t index, Frame& frame) override;
    StreamStatus takeStreamStatus() override;
    std::optional<TransportReport> transport() const override;
    std::vector<AudioLoudness> loudness() const override;

private:
    // Opening and probing (ffmpeg_source.cpp).
    explicit FfmpegSource(std::string path);
    std::string openStream(const ContainerRequest& request);
    // The input, opened through the transport tap, unless it is a pipe.
    std::string openInput(AVDictionary** settings);
    static int interrupted(void* self);
    ReadResult failure(const std::string& message, int code = 0) const;

    // The decode loop (decode_loop.cpp).
    // Decodes the next frame into frame_: Frame, End, or Error.
    ReadResult decodeNext();
    ReadResult sendNextPacket();
    // Lets the decoder pass over the packet of this presentation time stamp when no frame the run
    // measures needs it.
    void skipUnneeded(int64_t pts);

    // Loss accounting (decode_losses.cpp).
    // The demuxer met damage: gaps in the time stamps of the next few video packets are frames lost.
    void noteDemuxDamage();
    // Records the frames missing before a video packet of these time stamps when the demuxer met damage.
    void noteDemuxGap(int64_t dts, int64_t pts);
    // A video packet sent to the decoder, which answered `code`; `discarded` when an edit list drops its frame.
    void noteSent(int64_t pts, int code, bool discarded);
    // A frame without a presentation time stamp came out of the decoder.
    void noteUnstampedFrame();
    // A frame of presentation time stamp `pts` lost for coming after a frame given that is shown after it.
    void noteLateLoss(int64_t pts);
    // Frames lost before a frame of presentation time stamp `pts` (all that are left at the end when none).
    void noteLosses(std::optional<int64_t> pts);

    // Time stamps and seeking (packet_seek.cpp).
    std::optional<double> secondsOf(int64_t pts) const;
    // Positions the input so that the next frame decodeNext() numbers is `index`;
    // false when the stream's time stamps do not allow it (decoding then starts from 0).
    enum class Seek { Done, FromStart, Failed };
    Seek seekTo(int64_t index);
    // The time stamps of the video packets from the current position in decode order, read until
    // the packet of the `index`-th presentation time stamp among them is known; empty when a
    // packet has none.
    std::vector<PacketStamp> readStamps(int64_t index);
    // Back to the first packet; false when the container cannot.
    bool rewind();
    // Moves to the packet of `stamps[target]`, leaving it in packet_; false when that fails.
    bool seekToPacket(const std::vector<PacketStamp>& stamps, std::size_t target);

    // The plane copy (plane_copy.cpp).
    ReadResult copyLuma(Image& luma);
    // Hands the decoded frame's planes to `frame`: planar YUV as it is, other formats converted.
    ReadResult holdPlanes(Frame& frame);

    // The streams beside the video (side_streams.cpp).
    void openAudio();
    // Opens a loudness meter for every audio stream (file runs).
    void openMeters();
    void decodeAudio(const AVPacket* packet);

    std::string path_;
    SourceInfo info_;
    std::unique_ptr<PipeInput> pipe_;  // standard input; outlives format_
    // The transport checks of an MPEG-TS input (null for other inputs) and the reader that feeds them.
    std::unique_ptr<TsAnalyzer> transport_;
    std::unique_ptr<TransportTap> tap_;  // outlives format_
    // By stream index: the meters of the audio streams (file runs).
    std::vector<std::unique_ptr<LoudnessMeter>> meters_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    PicturePool pictures_;  // the video decoder's
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwsContext* sws_ = nullptr;  // for formats whose luma is converted
    int swsFormat_ = -1;
    SwsContext* planeSws_ = nullptr;  // for formats whose planes are converted
    int planeSwsFormat_ = -1;
    std::vector<uint8_t> grey_;
    int greyStride_ = 0;
    int streamIndex_ = -1;
    // Live streams only:
    std::optional<LiveOpenOptions> live_;
    int64_t lastActivity_ = 0;  // steady-clock nanoseconds of the last packet
    bool opened_ = false;       // reads time out only once the stream is open
    bool timedOut_ = false;
    AVCodecContext* audio_ = nullptr;
    int audioIndex_ = -1;
    AVFrame* audioFrame_ = nullptr;
    StreamStatus status_;
    std::array<int64_t, kTsCheckCount> transportTaken_{};  // the transport errors counted by the last status taken
    int64_t startPts_;        // the stream's first presentation time stamp, in its time base
    int64_t next_ = 0;        // the number of the frame decodeNext() gives next
    bool started_ = false;    // a frame was asked for
    bool flushing_ = false;   // the container is exhausted and the decoder is being drained
    int64_t skipBelowPts_;    // after a seek: frames presented before this one are not the run's
    // Time stamps of the packets sent whose frames have not come out yet, smallest first.
    std::priority_queue<int64_t, std::vector<int64_t>, std::greater<>> pending_;
    int64_t unstampedLosses_ = 0;  // rejections of packets without time stamps, not yet recorded
    int64_t unstampedSent_ = 0, unstampedReceived_ = 0;
    int invalidReads_ = 0;  // damaged packets the demuxer gave up on in a row
    bool heldPacket_ = false;  // packet_ holds the next packet to send (found by a seek)
    int64_t firstPts_;         // of the first frame decoded, when the stream states no start
    int64_t lastPts_;          // of the last frame given
    // A frame of this time stamp would be shown before the last frame given: after damage it
    // comes late, and is counted lost rather than given out of its order.
    bool shownBeforeLastGiven(int64_t pts) const;
    // The numbers and presentation time stamps of the last frames given, a ring.
    std::array<std::pair<int64_t, int64_t>, 64> given_{};
    std::size_t givenTotal_ = 0;
    int64_t frameTicks_ = 0;   // a frame's duration in the stream's time base, when it states its rate
    int64_t lastDts_;          // of the last video packet read
    int demuxDamage_ = 0;      // video packets still to read that may follow damage the demuxer met
    // Frames the demuxer lost, between the decode time stamps of the packets before and after them,
    // and the step of those stamps (a frame's duration).
    struct DemuxLoss {
        int64_t before, resumed, frames, step;
    };
    std::vector<DemuxLoss> demuxLosses_;
    // How many of a loss's frames stand before the frame about to be given: 0 none yet, -1 none in this run.
    int64_t lostBefore(const DemuxLoss& loss, int64_t pts) const;
    // Packets before the one decoding starts from whose decode time stamps seed the rhythm.
    static constexpr std::size_t kRhythmSeedPackets = 16;
    void seedRhythm(const std::vector<PacketStamp>& stamps, std::size_t target);
    // The presentation time stamp of the last frame given, or after a seek of the frame before the first wanted.
    int64_t shownBefore_ = AV_NOPTS_VALUE;
    int64_t firstShownBefore_ = AV_NOPTS_VALUE;  // that of the frame before a segment's first
    FrameDamage damage_;  // of the frames decoded so far
    StampRhythm rhythm_;  // of the video packets' decode time stamps
};
