#include "driver/option_run.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
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
#include "output/csv_sink.h"
#include "report/html_report.h"
#include "output/json_sink.h"
#include "output/jsonl_sink.h"
#include "output/legacy_sink.h"
#include "output/output_file.h"
#include "output/progress.h"
#include "analysis/qc_gate.h"
#include "analysis/run_record.h"
#include "output/summary_text.h"
#include "rows/tee_sink.h"

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
    bool wantsPictures() const override { return next_.wantsPictures(); }
    void picture(int64_t frame, const Image& luma) override {
        if (frame >= from_) next_.picture(frame, luma);
    }

private:
    RowSink& next_;
    int64_t from_;
};

struct OpenedInput {
    DetectedInput detected;
    std::unique_ptr<FrameSource> source;
};

std::variant<OpenedInput, std::string> openInput(const RunOptions& o) {
    const OpenRequest request{o.input, o.width, o.height, o.stream, o.ffmpegLog.value_or(o.quiet ? "quiet" : "summary")};
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

// The decoder's losses among the frames shown: those before the first frame
// shown belong to the warm-up, and an interrupted run shows fewer frames than it read.
std::vector<DecodeError> decodeErrorsShown(const SourceInfo& info, int64_t start, int64_t rows, bool interrupted) {
    std::vector<DecodeError> shown;
    for (const DecodeError& e : info.decodeErrors)
        if (e.frame >= start && (e.frame < start + rows || !interrupted)) shown.push_back(e);
    return shown;
}

EventOptions eventOptions(const RunOptions& o) {
    EventOptions options;
    for (const auto& [type, seconds] : o.minDuration) options.minDuration[type] = seconds;
    if (o.flickerThreshold) options.flickerThreshold = *o.flickerThreshold;
    return options;
}

// The sink of the chosen format, writing to `output` (and the legacy log).
std::unique_ptr<RowSink> formatSink(const RunOptions& o, OutputFile& output, OutputFile* log, RunRecord& record) {
    switch (o.format) {
        case OutputFormat::Json: return std::make_unique<JsonSink>(output, record);
        case OutputFormat::Jsonl: return std::make_unique<JsonlSink>(output, record);
        case OutputFormat::Csv: return std::make_unique<CsvSink>(output);
        case OutputFormat::Legacy: break;
    }
    return std::make_unique<LegacySink>(output, log, o.log.has_value());
}

}  // namespace

int runWithOptions(const RunOptions& o) {
    const auto threads = o.threads ? o.threads : threadCountFromEnvironment();
    if (!threads) return kUsageStatus;
    QcGate gate;
    try {
        for (const std::string& condition : o.failOn) gate.add(condition);
    } catch (const QcSyntaxError& e) {
        fprintf(stderr, "frameprobe: %s\n", e.what());
        return kUsageStatus;
    }

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
    info.origin = origin;
    info.frameCount = count;
    info.mask = o.mask;
    info.threads = engine->threads();

    EngineOutcome outcome;
    RunRecord record(eventOptions(o));
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
        const std::unique_ptr<RowSink> format = formatSink(o, output, log ? &*log : nullptr, record);
        TeeSink all{&record, format.get()};
        std::optional<HtmlReport> report;
        if (o.report) all.add(report.emplace(*o.report, record));
        ProgressSink progress(all, stderr);
        const bool showProgress = !o.quiet && (o.progress || isTerminal(stderr));
        FromFrame shown(showProgress ? static_cast<RowSink&>(progress) : all, start);

        const auto began = std::chrono::steady_clock::now();
        shown.begin(info);
        outcome = engine->run(source, first, limit - first, shown, &stopRequested());
        if (outcome.failedFrame) {
            const ReadResult& r = outcome.failure;
            return fail(!r.message.empty() ? r.message
                                           : "cannot read frame " + std::to_string(*outcome.failedFrame) + " of " +
                                                 inputName(o.input) + ": " + strerror(r.error));
        }
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - began;
        if (report) report->setQcResult(!gate.empty(), gate.failures(record));
        shown.end(RunEnd{record.frames(), seconds.count(), outcome.interrupted,
                         decodeErrorsShown(sourceInfo, start, record.frames(), outcome.interrupted)});
        if (o.format == OutputFormat::Legacy && !outcome.interrupted) output.append("\nFile stream closed\n\n");
        output.close();
        if (log) log->close();
        if (o.summary) {
            OutputFile standardError(STDERR_FILENO, "standard error", false);
            writeSummary(standardError, record);
        }
    } catch (const WriteError& e) {
        return fail(e.what());
    }
    if (outcome.interrupted) return statusForSignal(stopSignal());
    const std::vector<std::string> failed = gate.failures(record);
    for (const std::string& condition : failed) fprintf(stderr, "frameprobe: QC failed: %s\n", condition.c_str());
    return failed.empty() ? 0 : kQcFailure;
}
