// frameprobe::Analysis: frames the caller pushes, measured by the run step on
// a thread of its own.
#include <cmath>
#include <deque>
#include <exception>
#include <limits>
#include <new>
#include <optional>
#include <thread>

#include "analysis/run_record.h"
#include "indicators/registry.h"
#include "frameprobe/frameprobe.hpp"
#include "library/conversions.h"
#include "library/pushed_frames.h"
#include "rows/tee_sink.h"
#include "run/run_step.h"
#include "tools/frame_rate.h"

namespace frameprobe {

namespace {

// Measured frames until the caller takes them.
class FrameQueue final : public RowSink {
public:
    void begin(const RunInfo& info) override { fps_ = info.fps; }
    void row(int64_t frame, const Results& values) override {
        frames_.push_back(detail::frameResult(frame, values, fps_));
    }
    void end(const RunEnd&) override {}
    std::optional<FrameResult> take() {
        if (frames_.empty()) return std::nullopt;
        FrameResult front = frames_.front();
        frames_.pop_front();
        return front;
    }

private:
    std::deque<FrameResult> frames_;
    double fps_ = kDefaultFps;
};

void check(const Settings& s) {
    if (s.width == 0 || s.height == 0)
        throw Error("the frame size " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                    " is invalid: width and height must be at least 1");
    if (uint64_t{s.width} * s.height > uint64_t{std::numeric_limits<int32_t>::max()})
        throw Error("frames of " + std::to_string(s.width) + "x" + std::to_string(s.height) +
                    " exceed 2147483647 samples");
    if (s.bitDepth < 8 || s.bitDepth > 16)
        throw Error("the bit depth " + std::to_string(s.bitDepth) + " is invalid: it must be 8 to 16");
    if (s.chromaLog2Width < 0 || s.chromaLog2Width > 2 || s.chromaLog2Height < 0 || s.chromaLog2Height > 2)
        throw Error("the chroma subsampling is invalid: its logarithms must be 0 to 2");
    if (!std::isfinite(s.fps) || s.fps <= 0) throw Error("the frame rate must be a positive number");
    detail::checkThreads(s.threads);
}

}  // namespace

struct Analysis::Impl {
    Settings settings;
    PushedFrames source;
    RunRecord record;
    FrameQueue queue;
    TeeSink rows{&record, &queue};
    std::optional<RunStep> step;
    RunDescription description;
    std::thread engine;
    std::exception_ptr failure;  // what ended the engine's run early
    bool finished = false;
    bool readsPlanes = false;  // an indicator requested reads the chroma planes

    explicit Impl(const Settings& s)
        : settings(s),
          source(s.width, s.height, s.bitDepth, s.chromaLog2Width, s.chromaLog2Height),
          record(detail::eventOptions(s.events)) {
        RunSettings run;
        run.mask = detail::indicatorMask(s.indicators);
        readsPlanes = ::readsPlanes(run.mask);
        run.fps = s.fps;
        run.threads = s.threads;
        try {
            step.emplace(run, source);
        } catch (const std::bad_alloc&) {
            throw Error("not enough memory for frames of " + std::to_string(s.width) + "x" +
                        std::to_string(s.height));
        }
        description = detail::description(step->info());
        engine = std::thread([this] {
            try {
                const RunOutcome outcome = step->run(rows);
                rows.end(RunEnd{record.frames(), outcome.seconds, false});
            } catch (...) {
                failure = std::current_exception();
            }
            source.stopped();
        });
    }

    ~Impl() {
        if (!engine.joinable()) return;
        source.close();
        engine.join();
    }

    void rethrowFailure() {
        if (!failure) return;
        try {
            std::rethrow_exception(failure);
        } catch (const std::bad_alloc&) {
            throw Error("not enough memory to measure the frames");
        } catch (const Error&) {
            throw;
        } catch (const std::exception& e) {
            throw Error(e.what());
        }
    }

    void finish() {
        if (finished) return;
        finished = true;
        source.close();
        engine.join();
        rethrowFailure();
    }

    void push(const PushedPlanes& planes) {
        if (finished) throw Error("no frame can be pushed after finish()");
        if (planes.wide != (settings.bitDepth > 8))
            throw Error(std::string(planes.wide ? "16-bit" : "8-bit") + " samples pushed to an analysis of " +
                        std::to_string(settings.bitDepth) + "-bit frames");
        if (planes.count < 3 && readsPlanes)
            throw Error("the indicators requested read the chroma planes: push Y, U and V");
        const char* names[3] = {"Y", "U", "V"};
        for (int p = 0; p < planes.count; ++p) {
            const uint32_t width = p == 0 ? settings.width : chromaSide(settings.width, settings.chromaLog2Width);
            const uint32_t height = p == 0 ? settings.height : chromaSide(settings.height, settings.chromaLog2Height);
            const std::string plane = planes.count == 1 ? "the plane" : std::string("the ") + names[p] + " plane";
            if (planes.data[p] == nullptr) throw Error(plane + " is null");
            const auto rowBytes = static_cast<std::ptrdiff_t>(width) * (planes.wide ? 2 : 1);
            if (std::abs(planes.strides[p]) < rowBytes && height > 1)
                throw Error((planes.count == 1 ? std::string("rows ") : "rows of " + plane + " ") +
                            std::to_string(planes.strides[p]) + " bytes apart overlap rows of " +
                            std::to_string(rowBytes) + " bytes");
        }
        source.offer(planes);
        if (failure) {
            finished = true;
            engine.join();
            rethrowFailure();
        }
    }

    static uint32_t chromaSide(uint32_t side, int log2) { return (side + (1u << log2) - 1) >> log2; }

    template <typename Sample>
    void pushLuma(const Sample* plane, std::ptrdiff_t stride) {
        PushedPlanes planes;
        planes.data[0] = plane;
        planes.strides[0] = stride;
        planes.wide = sizeof(Sample) == 2;
        push(planes);
    }

    template <typename Sample>
    void pushYuv(const Sample* y, std::ptrdiff_t yStride, const Sample* u, std::ptrdiff_t uStride, const Sample* v,
                 std::ptrdiff_t vStride) {
        PushedPlanes planes{{y, u, v}, {yStride, uStride, vStride}, 3, sizeof(Sample) == 2};
        push(planes);
    }
};

Analysis::Analysis(const Settings& settings) {
    check(settings);
    impl_ = std::make_unique<Impl>(settings);
}

Analysis::~Analysis() {
    if (!impl_) return;
    try {
        impl_->finish();
    } catch (...) {
        // A destructor reports nothing, and lets nothing out (a C caller's frameprobe_destroy()
        // runs it); finish() is where failures are seen.
    }
}

Analysis::Analysis(Analysis&&) noexcept = default;
Analysis& Analysis::operator=(Analysis&&) noexcept = default;

void Analysis::push(const uint8_t* plane, std::ptrdiff_t strideBytes) { impl_->pushLuma(plane, strideBytes); }
void Analysis::push(const uint16_t* plane, std::ptrdiff_t strideBytes) { impl_->pushLuma(plane, strideBytes); }
void Analysis::push(const uint8_t* y, std::ptrdiff_t yStride, const uint8_t* u, std::ptrdiff_t uStride,
                    const uint8_t* v, std::ptrdiff_t vStride) {
    impl_->pushYuv(y, yStride, u, uStride, v, vStride);
}
void Analysis::push(const uint16_t* y, std::ptrdiff_t yStride, const uint16_t* u, std::ptrdiff_t uStride,
                    const uint16_t* v, std::ptrdiff_t vStride) {
    impl_->pushYuv(y, yStride, u, uStride, v, vStride);
}
void Analysis::finish() { impl_->finish(); }
std::optional<FrameResult> Analysis::next() { return impl_->queue.take(); }
std::vector<Event> Analysis::events() const { return detail::events(impl_->record); }
Summary Analysis::summary() const { return detail::summary(impl_->record); }
const RunDescription& Analysis::run() const { return impl_->description; }

}  // namespace frameprobe
