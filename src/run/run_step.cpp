#include "run/run_step.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

#include "indicators/registry.h"
#include "io/open_source.h"

namespace {

// Frame numbers are 32-bit; a range reaching past the last one ends there.
constexpr int64_t kFrameLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;

// Rows before `from` belong to the warm-up of an exact segment and are not shown.
class FromFrame final : public RowSink {
public:
    FromFrame(RowSink& next, int64_t from) : next_(next), from_(from) {}
    void begin(const RunInfo& info) override { next_.begin(info); }
    void row(int64_t frame, const Results& values) override {
        if (frame >= from_) next_.row(frame, values);
    }
    void end(const RunEnd& end) override { next_.end(end); }
    bool wantsPictures() const override { return next_.wantsPictures(); }
    void picture(int64_t frame, const Image& luma) override {
        if (frame >= from_) next_.picture(frame, luma);
    }

private:
    RowSink& next_;
    int64_t from_;
};

}  // namespace

std::string readFailure(const EngineOutcome& outcome, const std::string& path) {
    const ReadResult& r = outcome.failure;
    if (!r.message.empty()) return r.message;
    return "cannot read frame " + std::to_string(outcome.failedFrame.value_or(0)) + " of " + inputName(path) + ": " +
           strerror(r.error);
}

RunStep::RunStep(const RunSettings& s, FrameSource& source) : source_(source) {
    const SourceInfo& sourceInfo = source.info();
    const double fps = s.fps ? *s.fps : sourceInfo.fps.value_or(kDefaultFps);
    const int64_t start = s.start;
    const int64_t origin = s.origin.value_or(start);
    std::optional<int64_t> count = s.frames;
    if (!count && sourceInfo.frameCount) count = std::max<int64_t>(0, *sourceInfo.frameCount - start);
    limit_ = count ? std::min(start + *count, kFrameLimit) : kFrameLimit;
    first_ = warmUpStart(s.mask, start, origin, fps);

    engine_ = std::make_unique<Engine>(EngineSettings{s.mask, fps, s.threads, s.window, origin, false, s.flash},
                                       sourceInfo.width, sourceInfo.height);

    info_.path = s.path;
    info_.format = sourceInfo.format;
    info_.width = sourceInfo.width;
    info_.height = sourceInfo.height;
    info_.fps = fps;
    info_.bitDepth = sourceInfo.bitDepth;
    info_.picture = sourceInfo.picture;
    info_.note = bitDepthNote(sourceInfo).value_or("");
    info_.timecode = sourceInfo.timecode;
    info_.startFrame = start;
    info_.origin = origin;
    info_.frameCount = count;
    if (s.runFrames)
        info_.runFrameCount = s.runFrames;
    else if (!s.origin)
        info_.runFrameCount = count;
    else if (sourceInfo.frameCount)
        info_.runFrameCount = std::max<int64_t>(0, *sourceInfo.frameCount - *s.origin);
    rawInput_ = s.rawInput;
    if (s.rawInput && sourceInfo.frameCount) info_.inputFrames = std::max<int64_t>(0, *sourceInfo.frameCount - start);
    info_.mask = s.mask;
    info_.addedBy = s.addedBy;
    info_.threads = engine_->threads();
}

RunOutcome RunStep::run(RowSink& sink, const std::atomic<bool>* stop) {
    FromFrame shown(sink, info_.startFrame);
    const auto began = std::chrono::steady_clock::now();
    shown.begin(info_);
    RunOutcome outcome;
    outcome.engine = engine_->run(source_, first_, limit_ - first_, shown, stop);
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    return outcome;
}

std::vector<DecodeError> RunStep::decodeErrorsShown(int64_t rows, bool interrupted) const {
    const int64_t start = info_.startFrame;
    std::vector<DecodeError> shown;
    for (const DecodeError& e : source_.info().decodeErrors)
        if (e.frame >= start && (e.frame < start + rows || !interrupted)) shown.push_back(e);
    return shown;
}

void RunStep::addStreamFindings(RunEnd& end, int64_t rows) const {
    end.transport = source_.transport();
    if (end.transport) {
        const int64_t start = info_.startFrame;
        // Errors found while frames before the first shown were read belong to the first.
        for (TsOccurrence& o : end.transport->occurrences)
            o.frame = std::clamp(o.frame, start, start + std::max<int64_t>(rows, 1) - 1);
    }
    end.audio = source_.loudness();
}

std::optional<int64_t> RunStep::inputFrames() const {
    const std::optional<int64_t> found = source_.info().frameCount;
    if (info_.inputFrames || !rawInput_ || !found) return info_.inputFrames;
    return std::max<int64_t>(0, *found - info_.startFrame);
}
