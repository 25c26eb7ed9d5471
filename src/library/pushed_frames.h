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

class PushedFrames final : public FrameSource {
public:
    PushedFrames(uint32_t width, uint32_t height, int bitDepth);

    const SourceInfo& info() const override { return info_; }
    // The engine's thread: waits for the next plane, or the end.
    ReadResult read(int64_t index, Image& luma) override;

    // The caller's thread. `plane` holds 8-bit samples, or 16-bit ones when `wide`.
    // Returns false when the engine has stopped and took nothing.
    bool offer(const void* plane, std::ptrdiff_t strideBytes, bool wide);
    // No more frames: the engine's next read ends the run.
    void close();
    // The engine's thread, once its run is over: offers no longer wait.
    void stopped();

private:
    void copy(Image& luma) const;

    SourceInfo info_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool asking_ = false;  // the engine waits in read()
    bool closed_ = false;
    bool stopped_ = false;
    const void* plane_ = nullptr;  // offered and not yet taken
    std::ptrdiff_t stride_ = 0;
    bool wide_ = false;
};
