// Decoded input: one video stream of any container and codec that FFmpeg's
// libraries read. 8-bit YUV and grey frames give their luma plane as it is;
// deeper YUV and grey samples are measured on their 8 most significant bits;
// every other format (RGB, palettes, ...) is converted to 8-bit luma by
// swscale with the BT.601 matrix into the limited range 16-235.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "ffmpeg/module_interface.h"
#include "io/frame_source.h"

struct AVFormatContext;
struct AVCodecContext;
struct AVPacket;
struct AVFrame;
struct SwsContext;

class FfmpegSource : public FrameSource {
public:
    // Opens `path` and the decoder of stream `stream` (an index into the
    // container's streams), or of the first video stream when negative.
    static std::variant<std::unique_ptr<FfmpegSource>, std::string> open(const std::string& path, int stream = -1);

    // Opens the first video stream of a URL or file as a live stream (see LiveOpenOptions).
    static std::variant<std::unique_ptr<FfmpegSource>, std::string> openLive(const std::string& url,
                                                                            const LiveOpenOptions& options);

    ~FfmpegSource() override;
    FfmpegSource(const FfmpegSource&) = delete;
    FfmpegSource& operator=(const FfmpegSource&) = delete;

    const SourceInfo& info() const override { return info_; }
    ReadResult read(int64_t index, Image& luma) override;
    StreamStatus takeStreamStatus() override;

private:
    explicit FfmpegSource(std::string path);
    std::string openStream(int stream);
    // Decodes the next frame into frame_: Frame, End, or Error.
    ReadResult decodeNext();
    ReadResult copyLuma(Image& luma);
    ReadResult failure(const std::string& message, int code = 0) const;
    void openAudio();
    void decodeAudio(const AVPacket* packet);
    static int interrupted(void* self);

    std::string path_;
    SourceInfo info_;
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
    SwsContext* sws_ = nullptr;  // for formats whose luma is converted
    int swsFormat_ = -1;
    std::vector<uint8_t> grey_;
    int greyStride_ = 0;
    int streamIndex_ = -1;
    int64_t next_ = 0;       // the frame decodeNext() gives next
    bool flushing_ = false;  // the container is exhausted and the decoder is being drained
    // Live streams only:
    std::optional<LiveOpenOptions> live_;
    int64_t lastActivity_ = 0;  // steady-clock nanoseconds of the last packet
    bool opened_ = false;       // reads time out only once the stream is open
    bool timedOut_ = false;
    AVCodecContext* audio_ = nullptr;
    int audioIndex_ = -1;
    AVFrame* audioFrame_ = nullptr;
    StreamStatus status_;
};
