#include "driver/option_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "driver/command_line.h"
#include "driver/output_check.h"
#include "process/exit_status.h"
#include "process/process_guard.h"
#include "driver/run_judgement.h"
#include "indicators/registry.h"
#include "io/open_source.h"
#include "report/html_report.h"
#include "report/snapshot_writer.h"
#include "output/output_file.h"
#include "output/output_formats.h"
#include "output/progress.h"
#include "analysis/qc_gate.h"
#include "analysis/run_record.h"
#include "output/summary_text.h"
#include "rows/tee_sink.h"
#include "run/run_input.h"
#include "run/run_step.h"

namespace {

int fail(const std::string& message) {
    fprintf(stderr, "frameprobe: %s\n", message.c_str());
    return kToolFailure;
}

}  // namespace

int runWithOptions(const RunOptions& o) {
    const auto threads = o.threads ? o.threads : threadCountFromEnvironment(o.logInPlace ? stdout : stderr);
    if (!threads) return kUsageStatus;
    RunJudgement judgement;
    try {
        judgement = prepareJudgement(o);
    } catch (const std::exception& e) {  // QcSyntaxError, ProfileError
        fprintf(stderr, "frameprobe: %s\n", e.what());
        return kUsageStatus;
    }
    if (const auto status = refuseBadOutputs(o)) return *status;
    const QcGate& gate = judgement.gate;
    const uint32_t mask = judgement.measured.mask;

    auto opened = openRunInput(InputRequest{o.input, o.width, o.height, o.stream, o.frames,
                                            o.ffmpegLog.value_or(o.quiet ? "quiet" : "summary"), *threads,
                                            o.pixelFormat, o.decoderThreads});
    if (auto* error = std::get_if<std::string>(&opened)) return fail(*error);
    FrameSource& source = *std::get<OpenedInput>(opened).source;
    if (const uint64_t pixels = uint64_t{source.info().width} * source.info().height; pixels > o.maxPixels)
        return fail(inputName(o.input) + " declares frames of " + std::to_string(source.info().width) + "x" +
                    std::to_string(source.info().height) + " (" + std::to_string(pixels) +
                    " pixels), more than --max-pixels " + std::to_string(o.maxPixels) +
                    "; raise --max-pixels to measure it");

    RunSettings settings;
    settings.path = o.input;
    settings.mask = mask;
    settings.fps = o.fps;
    settings.start = o.start;
    settings.frames = o.frames;
    settings.origin = o.origin;
    settings.runFrames = o.runFrames;
    settings.rawInput = std::get<OpenedInput>(opened).detected.kind == InputKind::Raw;
    settings.addedBy = judgement.measured.addedBy;
    settings.threads = *threads;
    settings.window = windowFromEnvironment();
    settings.flash = o.flash;
    std::optional<RunStep> step;
    try {
        step.emplace(settings, source);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory for frames of " + std::to_string(source.info().width) + "x" +
                    std::to_string(source.info().height));
    }

    EngineOutcome outcome;
    RunRecord record(judgement.events);
    record.setGate(&gate);
    // Statistics need every frame's values: the summaries of JSON, JSON Lines and
    // --summary, the report, and conditions on indicators. Nothing else keeps rows.
    record.keepRows(o.format->keepsRows || o.summary || o.report || gate.needsStatistics());
    // A judged event lasts as long as its frames' presentation times say, in every format.
    record.keepTimes(!gate.empty());
    // Files given by name take their names only when complete. A failed run closes
    // a JSON or JSON Lines document with the reason and keeps it, with the rows it
    // measured; its other files are dropped.
    std::optional<OutputFile> outputFile;
    std::optional<OutputFile> log;
    std::unique_ptr<RowSink> format;
    const auto failAndAbandon = [&](const std::string& message) {
        if (format) {
            try {
                format->abandon(message);
                if (o.format->keepsAFailedRun) outputFile->close();
            } catch (const WriteError&) {
            }
        }
        return fail(message);
    };
    try {
        OutputFile& output = outputFile.emplace(OutputFile::open(o.output));
        if (writesLog(o)) {
            try {
                log.emplace(o.logInPlace ? OutputFile::openInPlace(*o.log) : OutputFile::open(*o.log));
            } catch (const WriteError&) {
                // A log named on the command line must be written; the default one, as in the
                // positional form, is said to be missing in the table and the run goes on.
                if (o.logGiven) throw;
            }
        }
        // None for a run that shows only its verdict.
        if (!o.verdictOnly) format = o.format->makeSink({output, log ? &*log : nullptr, o.log.has_value(), record});
        TeeSink all{&record};
        if (format) all.add(*format);
        std::optional<HtmlReport> report;
        if (o.report) all.add(report.emplace(*o.report, record, o.timecode));
        std::optional<SnapshotWriter> snapshots;
        if (o.snapshots) all.add(snapshots.emplace(*o.snapshots, record));
        ProgressSink progress(all, stderr);
        // On a terminal that shows the rows too, the rows are the progress; asked for, the line gives way to them.
        const bool rowsShareTheLine = format && o.output == "-" && sharesStandardOutput(stderr);
        const bool showProgress = !o.quiet && (o.progress || (isTerminal(stderr) && !rowsShareTheLine));
        progress.eraseBeforeRows(rowsShareTheLine);
        RowSink& shown = showProgress ? static_cast<RowSink&>(progress) : all;

        const RunOutcome run = step->run(shown, &stopRequested());
        outcome = run.engine;
        // A signal that came while a read waited ends the input early (a pipe's writer
        // stopped by the same Ctrl-C): the run was interrupted, not complete.
        outcome.interrupted = outcome.interrupted || stopRequested().load();
        if (outcome.failedFrame) return failAndAbandon(readFailure(outcome, o.input));
        RunEnd end{record.frames(), run.seconds, outcome.interrupted,
                   step->decodeErrorsShown(record.frames(), outcome.interrupted), step->inputFrames()};
        step->addStreamFindings(end, record.frames());
        shown.end(end);
        if (format && o.format->closing && !outcome.interrupted) output.append(o.format->closing);
        output.close();
        if (log) log->close();
        if (o.summary) {
            OutputFile standardError(STDERR_FILENO, "standard error", false);
            writeSummary(standardError, record);
        }
    } catch (const WriteError& e) {
        return failAndAbandon(e.what());
    } catch (const std::bad_alloc&) {
        return failAndAbandon("not enough memory");
    }
    if (outcome.interrupted) return statusForSignal(stopSignal());
    try {
        return concludeJudgement(o, record);
    } catch (const WriteError& e) {
        return fail(e.what());
    }
}
