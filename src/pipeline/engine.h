// The engine: reads frames from a source, measures several frames at once on a
// persistent worker pool, and hands rows to a sink in frame order. The rows do
// not depend on the number of threads or of frames in flight.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "indicators/flash_settings.h"
#include "io/frame_source.h"
#include "rows/row_sink.h"
#include "tools/frame_rate.h"

struct EngineSettings {
    uint32_t mask = 0;     // requested indicators
    double fps = kDefaultFps;
    unsigned threads = 0;  // 0: the hardware's count; 1: everything on the calling thread
    unsigned window = 0;   // frames measured together; 0: chosen from the thread count
    // The first frame of the whole run a run is part of; -1: the run's own first frame.
    int64_t origin = -1;
    // Read every frame's planes, whether or not an indicator of `mask` reads them (the library's
    // callers and benchmarks); the engine reads them anyway when one does.
    bool planes = false;
    FlashSettings flash{};  // the photosensitive flash rule's display and area
};

struct EngineOutcome {
    int64_t rows = 0;
    bool interrupted = false;
    std::optional<int64_t> failedFrame;  // the frame whose read failed
    ReadResult failure;
};

class Engine {
public:
    Engine(const EngineSettings& settings, uint32_t width, uint32_t height);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    unsigned threads() const;

    // Measures frames first .. first + count - 1, or up to the source's end when
    // count is empty. Stops early, after a whole frame, once `stop` is set.
    EngineOutcome run(FrameSource& source, int64_t first, std::optional<int64_t> count, RowSink& sink,
                      const std::atomic<bool>* stop = nullptr);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
