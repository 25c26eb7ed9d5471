#include "driver/merge_run.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/options.h"
#include "process/exit_status.h"
#include "process/process_guard.h"
#include "output/jsonl_reader.h"
#include "output/output_file.h"
#include "output/output_formats.h"
#include "output/output_plan.h"
#include "analysis/qc_gate.h"
#include "driver/run_judgement.h"
#include "analysis/run_record.h"
#include "rows/tee_sink.h"
#include "rows/text_format.h"
#include "transport/transport_report.h"

namespace {

struct MergeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string countText(std::optional<int64_t> count) { return count ? std::to_string(*count) : "unknown"; }

// A signal ended the merge before its output was whole.
struct Stopped {};

void stopIfAsked() {
    if (stopRequested().load()) throw Stopped{};
}

std::string framesOf(const RecordedRun& part) {
    return part.name + " (frames " + std::to_string(part.frames.front()) + "-" + std::to_string(part.frames.back()) +
           ")";
}

// The first difference between two parts' inputs and settings, if any.
std::string difference(const RecordedRun& a, const RecordedRun& b) {
    const RunInfo& x = a.info;
    const RunInfo& y = b.info;
    if (x.path != y.path) return "input " + quoted(x.path) + " / " + quoted(y.path);
    if (x.format != y.format) return "format " + x.format + " / " + y.format;
    if (x.width != y.width || x.height != y.height)
        return "size " + std::to_string(x.width) + "x" + std::to_string(x.height) + " / " + std::to_string(y.width) +
               "x" + std::to_string(y.height);
    if (x.fps != y.fps) return "frame rate " + jsonNumberOr(x.fps) + " / " + jsonNumberOr(y.fps);
    if (x.bitDepth != y.bitDepth) return "bit depth " + std::to_string(x.bitDepth) + " / " + std::to_string(y.bitDepth);
    if (x.origin != y.origin) return "origin " + std::to_string(x.origin) + " / " + std::to_string(y.origin);
    if (x.runFrameCount != y.runFrameCount)
        return "whole-run frame count " + countText(x.runFrameCount) + " / " + countText(y.runFrameCount);
    if (x.timecode != y.timecode) return "start time code";
    if (x.mask != y.mask) return "indicators";
    if (!(a.events == b.events)) return "event options";
    return "";
}

// The parts with rows, in frame order; throws MergeError unless they make one
// run without gaps or overlaps.
std::vector<const RecordedRun*> inFrameOrder(const std::vector<RecordedRun>& parts) {
    for (const RecordedRun& part : parts) {
        if (const std::string d = difference(parts.front(), part); !d.empty())
            throw MergeError(parts.front().name + " and " + part.name + " are not parts of one run: " + d);
        for (std::size_t i = 1; i < part.frames.size(); ++i)
            if (part.frames[i] != part.frames[i - 1] + 1)
                throw MergeError(part.name + ": frame " + std::to_string(part.frames[i]) + " follows frame " +
                                 std::to_string(part.frames[i - 1]));
    }
    std::vector<const RecordedRun*> ordered;
    for (const RecordedRun& part : parts)
        if (!part.frames.empty()) ordered.push_back(&part);
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const RecordedRun* a, const RecordedRun* b) { return a->frames.front() < b->frames.front(); });
    for (std::size_t i = 1; i < ordered.size(); ++i) {
        const RecordedRun& before = *ordered[i - 1];
        const RecordedRun& after = *ordered[i];
        const int64_t expected = before.frames.back() + 1;
        const int64_t next = after.frames.front();
        if (next > expected)
            throw MergeError("frames " + std::to_string(expected) + "-" + std::to_string(next - 1) +
                             " are missing between " + framesOf(before) + " and " + framesOf(after));
        if (next < expected)
            throw MergeError(framesOf(before) + " and " + framesOf(after) + " overlap at frames " +
                             std::to_string(next) + "-" + std::to_string(std::min(before.frames.back(),
                                                                                   after.frames.back())));
        // A segment numbers its frames from the packets before it; frames a decoder lost there take
        // no numbers in a whole run, so the segment then starts on pictures the part before has.
        const std::optional<double> ended = before.rows.back().time, starts = after.rows.front().time;
        if (ended && starts && *starts <= *ended)
            throw MergeError(framesOf(after) + " starts at " + readableNumber(*starts) + " s, not after " +
                             framesOf(before) + ", which ends at " + readableNumber(*ended) +
                             " s: the input lost frames before it, which only a whole run numbers; measure it whole");
    }
    return ordered;
}

// Throws MergeError unless the parts, in frame order, start at the whole run's
// first frame and reach its last one when its frame count is known.
void checkWholeRun(const std::vector<const RecordedRun*>& ordered) {
    const RecordedRun& first = *ordered.front();
    const RecordedRun& last = *ordered.back();
    const int64_t origin = first.info.origin;
    if (first.frames.front() > origin)
        throw MergeError("frames " + std::to_string(origin) + "-" + std::to_string(first.frames.front() - 1) +
                         " of the whole run are missing before " + framesOf(first));
    if (first.frames.front() < origin)
        throw MergeError(framesOf(first) + " starts before the whole run's first frame " + std::to_string(origin));
    const std::optional<int64_t> count = first.info.runFrameCount;
    if (!count) return;
    const int64_t end = origin + *count - 1;  // the whole run's last frame
    // A last part whose input ended before the frames it set out to measure (a damaged file's decoder
    // lost them) ends where the whole run would.
    const bool inputEnded = last.info.frameCount && static_cast<int64_t>(last.rows.size()) < *last.info.frameCount &&
                            last.info.startFrame + *last.info.frameCount - 1 >= end;
    if (last.frames.back() < end && !inputEnded)
        throw MergeError("frames " + std::to_string(last.frames.back() + 1) + "-" + std::to_string(end) +
                         " of the whole run are missing after " + framesOf(last));
    if (last.frames.back() > end)
        throw MergeError(framesOf(last) + " ends after the whole run's last frame " + std::to_string(end));
}

// The frames the parts' decoders lost, in frame order: each part tells of the losses before its
// own frames (a segment that met one in its warm-up says so at its first frame), and the
// last one also of those after its last frame, at the end of the input.
std::vector<DecodeError> decodeErrorsOf(const std::vector<const RecordedRun*>& parts) {
    std::vector<DecodeError> errors;
    for (const RecordedRun* part : parts)
        for (const DecodeError& e : part->decodeErrors)
            if (e.frame >= part->frames.front() && (e.frame <= part->frames.back() || part == parts.back()))
                errors.push_back(e);
    std::stable_sort(errors.begin(), errors.end(),
                     [](const DecodeError& a, const DecodeError& b) { return a.frame < b.frame; });
    return errors;
}

// Replays the rows through the sinks of a run, so that the summary and the
// events are those of one run over all the frames.
void write(const std::vector<const RecordedRun*>& parts, bool partial, const OutputFormat& format,
           const std::string& path, RunRecord& record) {
    RunInfo info = parts.front()->info;
    RunEnd end;
    for (const RecordedRun* part : parts) {
        end.frames += static_cast<int64_t>(part->rows.size());
        end.seconds += part->seconds;
        info.threads = std::max(info.threads, part->info.threads);
    }
    info.startFrame = parts.front()->frames.front();
    // A whole run set out to measure the whole run's frames, unknown when its parts did not know them.
    info.frameCount = partial ? std::optional<int64_t>(end.frames) : info.runFrameCount;
    end.decodeErrors = decodeErrorsOf(parts);

    OutputFile output = OutputFile::open(path);
    const std::unique_ptr<RowSink> sink = format.makeSink({output, nullptr, false, record});
    TeeSink all{&record, sink.get()};
    all.begin(info);
    for (const RecordedRun* part : parts) {
        stopIfAsked();
        for (std::size_t i = 0; i < part->rows.size(); ++i) all.row(part->frames[i], part->rows[i]);
    }
    // A stopped merge leaves its output unfinished: no summary, never closed whole.
    stopIfAsked();
    all.end(end);
    if (format.closing) output.append(format.closing);
    output.close();
}

// Each part checks the transport packets and measures the audio it read: from the input's start,
// or where its seek landed, to where it stopped reading, ranges that overlap from part to part.
// Sums would count some bytes twice and miss others, so a merged run has neither, and a
// condition on them could only ever read 0 or nothing.
bool readsTransportOrLoudness(const QcCondition& c) {
    return c.subject == "loudness" ||
           std::find(kTsCheckNames.begin(), kTsCheckNames.end(), c.subject) != kTsCheckNames.end();
}

int fail(const std::string& message) {
    fprintf(stderr, "frameprobe merge: %s\n", message.c_str());
    return kToolFailure;
}

// The whole run's verdict on standard error, as a run gives it; its exit status.
int judged(const RunRecord& record) {
    const std::optional<Verdict> verdict = record.verdict();
    if (!verdict) return 0;
    printFindings(*verdict, "frameprobe merge");
    return verdict->failed() ? kQcFailure : 0;
}

}  // namespace

int runMerge(int argc, char** argv) {
    CLI::App app{"Joins the JSON Lines outputs of segments of one run into the output of the whole run.",
                 "frameprobe merge"};
    std::vector<std::string> paths;
    std::vector<std::string> failOn;
    std::string output = "-";
    const OutputFormat& defaultFormat = *findOutputFormat("jsonl");
    std::string format = defaultFormat.name;
    bool partial = false;
    app.add_option("PART", paths, "JSON Lines output of a segment, in any order")->required();
    app.add_option("-o,--output", output, "Output file, - for standard output (default)");
    const std::string choices = formatChoices(defaultFormat, true);
    // "jsonl (default), json, csv or legacy"
    app.add_option("--format", format, "Output format: " + format + " (default)" + choices.substr(format.size()));
    app.add_flag("--partial", partial,
                 "Accept parts that do not reach the whole run's first or last frame (they must still follow "
                 "each other)");
    app.add_option("--fail-on", failOn,
                   "Condition that fails the whole run, as for a run (e.g. decode_errors>0, black.count>0); repeatable")
        ->allow_extra_args(false);  // one expression each: what follows is a part or another option
    app.footer("Exit status: 0 after a complete merge, 1 when the parts were refused or the output failed, 2 for a\n"
               "command line it could not understand, 3 when a --fail-on condition holds, 130 or 143 after SIGINT\n"
               "or SIGTERM.");
    try {
        app.parse(argc - 1, argv + 1);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        fprintf(stderr, "frameprobe merge: %s\nRun 'frameprobe merge --help' for the options.\n", e.what());
        return kUsageStatus;
    }
    const OutputFormat* chosen = findOutputFormat(format);
    if (!chosen || !chosen->fromRecordedRows) {
        fprintf(stderr, "frameprobe merge: unknown format \"%s\": expected %s\n", format.c_str(), choices.c_str());
        return kUsageStatus;
    }

    QcGate gate;
    try {
        for (const std::string& condition : failOn) gate.add(condition);
    } catch (const QcSyntaxError& e) {
        fprintf(stderr, "frameprobe merge: %s\n", e.what());
        return kUsageStatus;
    }
    for (const QcCondition& c : gate.conditions())
        if (readsTransportOrLoudness(c)) {
            fprintf(stderr,
                    "frameprobe merge: --fail-on %s: the transport checks and loudness of parts cannot be joined "
                    "(each part checks all it read, which overlaps the others); judge them in a run of the whole "
                    "input\n",
                    c.text.c_str());
            return kUsageStatus;
        }

    // No part may be overwritten by the output, and its place must take it before any part is read.
    for (const std::string& part : paths) {
        if (const auto problem = checkOutputPlan(part, {{"--output", output}})) {
            fprintf(stderr, "frameprobe merge: %s\n", problem->message.c_str());
            return problem->kind == OutputPlanProblem::Conflict ? kUsageStatus : kToolFailure;
        }
    }
    std::optional<RunRecord> record;
    try {
        std::vector<RecordedRun> parts;
        for (const std::string& path : paths) {
            stopIfAsked();
            parts.push_back(readJsonlRun(path));
        }
        stopIfAsked();
        const std::vector<const RecordedRun*> ordered = inFrameOrder(parts);
        if (ordered.empty()) return fail("the parts hold no frames");
        if (!partial) checkWholeRun(ordered);
        record.emplace(ordered.front()->events);
        record->setGate(&gate);
        write(ordered, partial, *chosen, output, *record);
    } catch (const RecordedRunError& e) {
        return fail(e.what());
    } catch (const MergeError& e) {
        return fail(e.what());
    } catch (const WriteError& e) {
        return fail(e.what());
    } catch (const Stopped&) {
        return statusForSignal(stopSignal());
    }
    return judged(*record);
}
