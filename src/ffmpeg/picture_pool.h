// The decoder's pictures on huge pages. FFmpeg's own pool takes each new picture's
// memory in 4 KiB pages and clears it: on a clip of a few seconds, the page faults
// of its first pictures cost about a twentieth of decoding them. Here a picture of
// 2 MiB or more is one block of 2 MiB pages where the system offers them, zero
// when new as FFmpeg's are, and reused as FFmpeg reuses its own.
#pragma once

#include <cstddef>
#include <mutex>

extern "C" {
struct AVBufferPool;
struct AVCodecContext;
struct AVFrame;
}

class PicturePool {
public:
    PicturePool() = default;
    ~PicturePool();
    PicturePool(const PicturePool&) = delete;
    PicturePool& operator=(const PicturePool&) = delete;

    // Gives `codec`, before it is opened, its pictures from this pool, which must outlive it.
    void serve(AVCodecContext* codec);

private:
    static int getBuffer(AVCodecContext* codec, AVFrame* frame, int flags);
    // Fills `frame` with planes laid out as FFmpeg lays them out; false where it keeps its own.
    bool fill(AVCodecContext* codec, AVFrame* frame);

    std::mutex mutex_;  // decoder threads ask for pictures at once
    AVBufferPool* pool_ = nullptr;
    std::size_t blockSize_ = 0;
};
