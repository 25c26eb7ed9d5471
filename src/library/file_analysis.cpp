// frameprobe::analyzeFile and frameprobe::measure: the run step on an input
// the library opens, or on one picture.
#include <cmath>

#include "analysis/run_record.h"
#include "frameprobe/frameprobe.hpp"
#include "library/conversions.h"
#include "rows/tee_sink.h"
#include "run/run_input.h"
#include "run/run_step.h"

namespace frameprobe {

FileResult analyzeFile(const FileSettings& s, const std::function<void(const FrameResult&)>& onFrame,
                       const std::atomic<bool>* stop) {
    if (s.input.empty()) throw Error("no input given");
    // What the command line refuses, refused before the input is opened.
    if (s.fps && (!std::isfinite(*s.fps) || *s.fps <= 0)) throw Error("the frame rate must be a positive number");
    if (s.start < 0) throw Error("the start frame must be 0 or more");
    if (s.frames && *s.frames < 0) throw Error("the number of frames must be 0 or more");
    if (s.origin && (*s.origin < 0 || *s.origin > s.start))
        throw Error("the origin must be from 0 to the start frame");
    detail::checkThreads(s.threads);
    const EventOptions events = detail::eventOptions(s.events);
    InputRequest request{s.input, s.width, s.height, s.stream, s.frames, "summary", 0, std::nullopt};
    request.threads = s.threads;
    auto opened = openRunInput(request);
    if (auto* error = std::get_if<std::string>(&opened)) throw Error(*error);
    FrameSource& source = *std::get<OpenedInput>(opened).source;

    RunSettings settings;
    settings.path = s.input;
    settings.mask = detail::indicatorMask(s.indicators);
    settings.fps = s.fps;
    settings.start = s.start;
    settings.frames = s.frames;
    settings.origin = s.origin;
    settings.threads = s.threads;
    std::optional<RunStep> step;
    try {
        step.emplace(settings, source);
    } catch (const std::bad_alloc&) {
        throw Error("not enough memory for frames of " + std::to_string(source.info().width) + "x" +
                    std::to_string(source.info().height));
    }

    RunRecord record(events);
    detail::FrameCallbackSink callback(onFrame);
    TeeSink rows{&record, &callback};
    const RunOutcome outcome = step->run(rows, stop);
    if (outcome.engine.failedFrame) throw Error(readFailure(outcome.engine, s.input));
    RunEnd end{record.frames(), outcome.seconds, outcome.engine.interrupted,
               step->decodeErrorsShown(record.frames(), outcome.engine.interrupted), step->inputFrames()};
    step->addStreamFindings(end, record.frames());
    rows.end(end);

    FileResult result;
    result.run = detail::description(step->info());
    result.summary = detail::summary(record);
    result.events = detail::events(record);
    result.interrupted = outcome.engine.interrupted;
    result.decodeErrors = record.decodeErrors();
    result.seconds = outcome.seconds;
    return result;
}

FrameResult measure(const uint8_t* plane, uint32_t width, uint32_t height, std::ptrdiff_t strideBytes,
                    std::string_view indicators) {
    Settings settings;
    settings.width = width;
    settings.height = height;
    settings.indicators = std::string(indicators);
    Analysis analysis(settings);
    analysis.push(plane, strideBytes);
    analysis.finish();
    return *analysis.next();
}

}  // namespace frameprobe
