#include "driver/option_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "driver/command_line.h"
#include "driver/process_guard.h"
#include "indicators/registry.h"
#include "io/open_source.h"
#include "io/raw_source.h"
#include "pipeline/engine.h"
#include "report/legacy_sink.h"
#include "report/output_file.h"

namespace {

constexpr int64_t kFrameLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;

int fail(const std::string& message) {
    fprintf(stderr, "frameprobe: %s\n", message.c_str());
    return kToolFailure;
}

// Rows before `from` belong to the warm-up of an exact segment and are not shown.
class FromFrame final : public RowSink {
public:
    FromFrame(RowSink& next, int64_t from) : next_(next), from_(from) {}
    void begin(const RunInfo& info) override { next_.begin(info); }
    void row(int64_t frame, const Results& values) override {
        if (frame >= from_) next_.row(frame, values);
    }
    void end(const RunEnd& end) override { next_.end(end); }

private:
    RowSink& next_;
    int64_t from_;
};

struct OpenedInput {
    DetectedInput detected;
    std::unique_ptr<FrameSource> source;
};

std::variant<OpenedInput, std::string> openInput(const RunOptions& o) {
    const OpenRequest request{o.input, o.width, o.height, o.stream};
    auto detected = detectInput(request);
    if (auto* error = std::get_if<std::string>(&detected)) return *error;
    OpenedInput input{std::move(std::get<DetectedInput>(detected)), nullptr};
    if (input.detected.kind != InputKind::Raw) {
        auto opened = openSource(request, std::move(input.detected));
        if (auto* error = std::get_if<std::string>(&opened)) return *error;
        input.source = std::move(std::get<std::unique_ptr<FrameSource>>(opened));
        return input;
    }
    const uint64_t frameSize = 3 * uint64_t{*o.width} * *o.height / 2;
    if (frameSize > uint64_t{std::numeric_limits<int32_t>::max()})
        return "a raw frame of " + std::to_string(*o.width) + "x" + std::to_string(*o.height) + " (" +
               std::to_string(frameSize) + " bytes) exceeds 2147483647 bytes";
    ByteStream& stream = *input.detected.stream;
    std::optional<int64_t> count;
    if (const auto length = stream.length()) count = static_cast<int64_t>(*length / frameSize);
    // Without a frame count the end of the input ends the run; with one, a raw
    // range past the end shows what short reads leave, as in the positional form.
    input.source = std::make_unique<RawSource>(stream, *o.width, *o.height, static_cast<int64_t>(frameSize), count,
                                               !o.frames);
    return input;
}

std::optional<unsigned> threadCount(const RunOptions& o) {
    if (o.threads) return *o.threads;
    return threadCountFromEnvironment();
}

}  // namespace

int runWithOptions(const RunOptions& o) {
    const auto threads = threadCount(o);
    if (!threads) return kUsageStatus;

    auto opened = openInput(o);
    if (auto* error = std::get_if<std::string>(&opened)) return fail(*error);
    OpenedInput& input = std::get<OpenedInput>(opened);
    FrameSource& source = *input.source;
    const SourceInfo& sourceInfo = source.info();
    const double fps = o.fps ? *o.fps : sourceInfo.fps.value_or(DEFAULT_FPS);

    const int64_t start = o.start;
    const int64_t origin = o.origin.value_or(start);
    std::optional<int64_t> count = o.frames;
    if (!count && sourceInfo.frameCount) count = std::max<int64_t>(0, *sourceInfo.frameCount - start);
    // Frame numbers are 32-bit; a range reaching past the last one ends there.
    const int64_t limit = count ? std::min(start + *count, kFrameLimit) : kFrameLimit;
    const int64_t first = warmUpStart(o.mask, start, origin, fps);

    std::unique_ptr<Engine> engine;
    try {
        engine = std::make_unique<Engine>(EngineSettings{o.mask, fps, *threads, windowFromEnvironment(), origin},
                                          sourceInfo.width, sourceInfo.height);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for frames of " + std::to_string(sourceInfo.width) + "x" +
                    std::to_string(sourceInfo.height));
    }

    RunInfo info;
    info.path = o.input;
    info.format = sourceInfo.format;
    info.width = sourceInfo.width;
    info.height = sourceInfo.height;
    info.fps = fps;
    info.bitDepth = sourceInfo.bitDepth;
    info.note = bitDepthNote(sourceInfo).value_or("");
    info.startFrame = start;
    info.frameCount = count;
    info.mask = o.mask;
    info.threads = engine->threads();

    try {
        OutputFile output = OutputFile::open(o.output);
        std::optional<OutputFile> log;
        if (o.format == OutputFormat::Legacy && o.log) {
            try {
                log.emplace(OutputFile::open(*o.log));
            } catch (const WriteError&) {
                // As in the positional form: the table says so and the run goes on.
            }
        }
        LegacySink legacy(output, log ? &*log : nullptr, o.log.has_value());
        RowSink& sink = legacy;
        FromFrame shown(sink, start);
        shown.begin(info);
        const EngineOutcome outcome = engine->run(source, first, limit - first, shown, &stopRequested());
        if (outcome.failedFrame) {
            const ReadResult& r = outcome.failure;
            return fail(!r.message.empty() ? r.message
                                           : "cannot read frame " + std::to_string(*outcome.failedFrame) + " of " +
                                                 inputName(o.input) + ": " + strerror(r.error));
        }
        shown.end(RunEnd{outcome.rows, 0, outcome.interrupted});
        if (o.format == OutputFormat::Legacy && !outcome.interrupted) output.append("\nFile stream closed\n\n");
        output.close();
        if (log) log->close();
        if (outcome.interrupted) return statusForSignal(stopSignal());
    } catch (const WriteError& e) {
        return fail(e.what());
    }
    return 0;
}
