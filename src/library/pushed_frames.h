// A frame source fed by the caller of the library: the engine runs on a thread
// of its own and takes each pushed plane as it asks for the next frame. A push
// returns once the engine has copied the plane and asks for the one after it
// (or has stopped), so what the engine did in between is fixed by the frames
// pushed, never by timing, and the engine's thread is idle whenever the caller
// reads the results.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

#include "io/frame_source.h"

// The planes of one pushed frame: Y alone, or Y, U and V, each rows `strides` bytes apart.
struct PushedPlanes {
    const void* data[3] = {nullptr, nullptr, nullptr};
    std::ptrdiff_t strides[3] = {0, 0, 0};
    int count = 1;
    bool wide = false;  // 16-bit samples
};

class PushedFrames final : public FrameSource {
public:
    // Chroma planes are subsampled by 2^log2ChromaWidth across and 2^log2ChromaHeight down.
    PushedFrames(uint32_t width, uint32_t height, int bitDepth, int log2ChromaWidth, int log2ChromaHeight);

    const SourceInfo& info() const override { return info_; }
    // The engine's thread: waits for the next plane, or the end.
    ReadResult readFrame(int64_t index, Frame& frame) override;

    // The caller's thread. Returns false when the engine has stopped and took nothing.
    bool offer(const PushedPlanes& planes);
    // No more frames: the engine's next read ends the run.
    void close();
    // The engine's thread, once its run is over: offers no longer wait.
    void stopped();

private:
    void copy(Frame& frame) const;

    SourceInfo info_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool asking_ = false;  // the engine waits in read()
    bool closed_ = false;
    bool stopped_ = false;
    const PushedPlanes* offered_ = nullptr;  // not yet taken
};
