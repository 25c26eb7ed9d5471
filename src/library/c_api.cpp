// The C API over the C++ one: handles own an analysis or a file's result,
// and every exception becomes a status and the handle's message.
#include "frameprobe/frameprobe.h"

#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "frameprobe/frameprobe.hpp"
#include "library/conversions.h"

struct frameprobe_analysis {
    std::optional<frameprobe::Analysis> pushed;
    // A file's results; for pushed frames, taken afresh when asked for.
    std::vector<frameprobe::Event> events;
    frameprobe::Summary summary;
    int64_t decodeErrors = 0;
    std::string timecode;  // a file's start time code, "" when it has none
    std::set<std::string, std::less<>> eventTypes;  // the strings handed out, alive with the handle
    std::string message;
};

namespace {

frameprobe_status failWith(frameprobe_analysis* a, frameprobe_status status, const std::string& message) {
    if (a != nullptr) a->message = message;
    return status;
}

// Runs `work`, turning what it throws into a status and the handle's message.
template <typename Work>
frameprobe_status guarded(frameprobe_analysis* a, frameprobe_status onError, Work&& work) {
    if (a == nullptr) return FRAMEPROBE_INVALID_ARGUMENT;
    try {
        a->message.clear();
        return work();
    } catch (const frameprobe::Error& e) {
        return failWith(a, onError, e.what());
    } catch (const std::bad_alloc&) {
        return failWith(a, FRAMEPROBE_OUT_OF_MEMORY, "not enough memory");
    } catch (const std::exception& e) {
        return failWith(a, onError, e.what());
    } catch (...) {
        return failWith(a, onError, "unknown failure");
    }
}

frameprobe_frame cFrame(const frameprobe::FrameResult& r) {
    frameprobe_frame f{};
    f.frame = r.frame;
    f.time = r.time;
    for (int i = 0; i < FRAMEPROBE_INDICATOR_COUNT; ++i) {
        const auto& v = r.values[static_cast<std::size_t>(i)];
        f.values[i] = v ? *v : std::numeric_limits<double>::quiet_NaN();
        if (v) f.present |= 1u << i;
    }
    return f;
}

frameprobe::EventSettings eventSettings(const frameprobe_settings& s) {
    frameprobe::EventSettings e;
    e.flickerThreshold = s.flicker_threshold;
    return e;
}

frameprobe_analysis* newHandle() { return new (std::nothrow) frameprobe_analysis; }

}  // namespace

extern "C" {

const char* frameprobe_version(void) { return frameprobe::version(); }

const char* frameprobe_indicator_key(int index) { return frameprobe::indicatorKey(index); }

uint32_t frameprobe_indicator_mask(const char* list) {
    if (list == nullptr) return 0;
    try {
        return frameprobe::indicatorMask(list);
    } catch (...) {
        return 0;
    }
}

void frameprobe_settings_init(frameprobe_settings* s) {
    if (s == nullptr) return;
    *s = frameprobe_settings{};
    s->bit_depth = 8;
    s->indicators = frameprobe::kAllIndicators;
    s->flicker_threshold = frameprobe::EventSettings{}.flickerThreshold;
    s->frames = -1;
    s->stream = -1;
}

frameprobe_status frameprobe_create(const frameprobe_settings* s, frameprobe_analysis** out) {
    if (out == nullptr) return FRAMEPROBE_INVALID_ARGUMENT;
    frameprobe_analysis* a = *out = newHandle();
    if (a == nullptr) return FRAMEPROBE_OUT_OF_MEMORY;
    if (s == nullptr) return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "no settings given");
    // 0 stands for the default; a negative or NaN rate is a mistake, not a request for it.
    if (!(s->fps >= 0)) return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "the frame rate must be 0 or a positive number");
    return guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        frameprobe::Settings settings;
        settings.width = s->width;
        settings.height = s->height;
        settings.bitDepth = s->bit_depth;
        settings.fps = s->fps > 0 ? s->fps : 25;
        settings.indicators = s->indicators;
        settings.threads = s->threads;
        settings.events = eventSettings(*s);
        a->pushed.emplace(settings);
        return FRAMEPROBE_OK;
    });
}

frameprobe_status frameprobe_push8(frameprobe_analysis* a, const uint8_t* plane, ptrdiff_t stride) {
    return guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        if (!a->pushed) return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "this handle takes no frames");
        a->pushed->push(plane, stride);
        return FRAMEPROBE_OK;
    });
}

frameprobe_status frameprobe_push16(frameprobe_analysis* a, const uint16_t* plane, ptrdiff_t stride) {
    return guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        if (!a->pushed) return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "this handle takes no frames");
        a->pushed->push(plane, stride);
        return FRAMEPROBE_OK;
    });
}

frameprobe_status frameprobe_finish(frameprobe_analysis* a) {
    return guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        if (!a->pushed) return FRAMEPROBE_OK;
        a->pushed->finish();
        return FRAMEPROBE_OK;
    });
}

int frameprobe_next_frame(frameprobe_analysis* a, frameprobe_frame* frame) {
    if (a == nullptr || frame == nullptr || !a->pushed) return 0;
    const auto next = a->pushed->next();
    if (!next) return 0;
    *frame = cFrame(*next);
    return 1;
}

frameprobe_status frameprobe_analyze_file(const char* input, const frameprobe_settings* s,
                                          int (*on_frame)(void*, const frameprobe_frame*), void* user,
                                          frameprobe_analysis** out) {
    if (out == nullptr) return FRAMEPROBE_INVALID_ARGUMENT;
    frameprobe_analysis* a = *out = newHandle();
    if (a == nullptr) return FRAMEPROBE_OUT_OF_MEMORY;
    if (input == nullptr || s == nullptr) return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "no input or settings given");
    // Settings the input has nothing to do with are the caller's mistake, not the input's.
    const frameprobe_status settingsStatus = guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        if (s->start < 0) throw frameprobe::Error("the start frame must be 0 or more");
        if (!(s->fps >= 0) || std::isinf(s->fps)) throw frameprobe::Error("the frame rate must be 0 or a positive number");
        frameprobe::detail::checkThreads(s->threads);
        frameprobe::detail::eventOptions(eventSettings(*s));
        return FRAMEPROBE_OK;
    });
    if (settingsStatus != FRAMEPROBE_OK) return settingsStatus;
    return guarded(a, FRAMEPROBE_INPUT_ERROR, [&] {
        frameprobe::FileSettings settings;
        settings.input = input;
        if (s->width != 0) settings.width = s->width;
        if (s->height != 0) settings.height = s->height;
        if (s->fps > 0) settings.fps = s->fps;
        settings.start = s->start;
        if (s->frames >= 0) settings.frames = s->frames;
        settings.stream = s->stream;
        settings.indicators = s->indicators;
        settings.threads = s->threads;
        settings.events = eventSettings(*s);
        std::atomic<bool> stop{false};
        std::function<void(const frameprobe::FrameResult&)> callback;
        if (on_frame != nullptr) {
            callback = [&](const frameprobe::FrameResult& r) {
                const frameprobe_frame f = cFrame(r);
                if (on_frame(user, &f) != 0) stop = true;
            };
        }
        frameprobe::FileResult result = frameprobe::analyzeFile(settings, callback, &stop);
        a->events = std::move(result.events);
        a->summary = std::move(result.summary);
        a->decodeErrors = result.decodeErrors;
        if (result.run.timecode) a->timecode = result.run.timecode->start;
        if (!result.interrupted) return FRAMEPROBE_OK;
        return failWith(a, FRAMEPROBE_INTERRUPTED, "stopped by the frame callback");
    });
}

size_t frameprobe_event_count(frameprobe_analysis* a) {
    if (a == nullptr) return 0;
    size_t count = 0;
    guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        if (a->pushed) a->events = a->pushed->events();
        count = a->events.size();
        return FRAMEPROBE_OK;
    });
    return count;
}

frameprobe_status frameprobe_get_event(frameprobe_analysis* a, size_t index, frameprobe_event* event) {
    return guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        if (a->pushed) a->events = a->pushed->events();
        if (event == nullptr || index >= a->events.size())
            return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "no event " + std::to_string(index));
        const frameprobe::Event& e = a->events[index];
        const char* type = a->eventTypes.insert(e.type).first->c_str();
        *event = frameprobe_event{type, e.startFrame, e.endFrame, e.startTime, e.endTime, e.duration};
        return FRAMEPROBE_OK;
    });
}

frameprobe_status frameprobe_get_statistics(frameprobe_analysis* a, int indicator, frameprobe_statistics* out) {
    return guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        const char* key = frameprobe::indicatorKey(indicator);
        if (out == nullptr || key == nullptr)
            return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "no indicator " + std::to_string(indicator));
        if (a->pushed) a->summary = a->pushed->summary();
        *out = frameprobe_statistics{};
        for (const frameprobe::IndicatorSummary& s : a->summary.indicators)
            if (s.key == key) *out = {s.count, s.min, s.max, s.mean, s.stdev, s.median, s.p5, s.p95};
        return FRAMEPROBE_OK;
    });
}

int64_t frameprobe_decode_errors(const frameprobe_analysis* a) { return a == nullptr ? 0 : a->decodeErrors; }

const char* frameprobe_start_timecode(const frameprobe_analysis* a) { return a == nullptr ? "" : a->timecode.c_str(); }

const char* frameprobe_message(const frameprobe_analysis* a) { return a == nullptr ? "no analysis" : a->message.c_str(); }

void frameprobe_destroy(frameprobe_analysis* a) { delete a; }

}  // extern "C"
