// The C API over the C++ one: handles own an analysis or a file's result,
// and every exception becomes a status and the handle's message.
#include "frameprobe/frameprobe.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "frameprobe/frameprobe.hpp"
#include "library/conversions.h"
#include "tools/frame_rate.h"

struct frameprobe_analysis {
    std::optional<frameprobe::Analysis> pushed;
    std::vector<double> values;  // of the last frame handed out
    std::optional<frameprobe::RunDescription> run;  // a file's
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

// The frame, its values in `values`, which it points at.
frameprobe_frame cFrame(const frameprobe::FrameResult& r, std::vector<double>& values) {
    values.resize(r.values.size());
    for (std::size_t i = 0; i < r.values.size(); ++i)
        values[i] = r.values[i].value_or(std::numeric_limits<double>::quiet_NaN());
    return frameprobe_frame{r.frame, r.time, values.data(), values.size()};
}

// The settings a caller's struct holds: a struct of an older, smaller layout leaves the rest at their defaults.
frameprobe_settings settingsOf(const frameprobe_settings* given) {
    frameprobe_settings s;
    frameprobe_settings_init(&s);
    const std::size_t size = given->size == 0 ? offsetof(frameprobe_settings, reserved)
                                              : std::min<std::size_t>(given->size, sizeof s);
    std::memcpy(&s, given, size);
    s.size = sizeof s;
    return s;
}

std::string indicatorList(const frameprobe_settings& s) { return s.indicators == nullptr ? "all" : s.indicators; }

frameprobe::EventSettings eventSettings(const frameprobe_settings& s) {
    frameprobe::EventSettings e;
    e.flickerThreshold = s.flicker_threshold;
    return e;
}

frameprobe_analysis* newHandle() { return new (std::nothrow) frameprobe_analysis; }

}  // namespace

extern "C" {

const char* frameprobe_version(void) { return frameprobe::version(); }

int frameprobe_version_number(void) { return frameprobe::versionNumber(); }

int frameprobe_indicator_count(void) { return frameprobe::indicatorCount(); }

const char* frameprobe_indicator_key(int index) { return frameprobe::indicatorKey(index); }

int frameprobe_indicator_index(const char* key) {
    if (key == nullptr) return -1;
    try {
        return frameprobe::indicatorIndex(key).value_or(-1);
    } catch (...) {
        return -1;
    }
}

int frameprobe_frame_value(const frameprobe_frame* frame, int index, double* value) {
    const bool inRange = frame != nullptr && frame->values != nullptr && index >= 0 &&
                         static_cast<std::size_t>(index) < frame->value_count;
    const double v = inRange ? frame->values[index] : std::numeric_limits<double>::quiet_NaN();
    if (value != nullptr) *value = v;
    return std::isnan(v) ? 0 : 1;
}

void frameprobe_settings_init(frameprobe_settings* s) {
    if (s == nullptr) return;
    *s = frameprobe_settings{};
    s->size = sizeof *s;
    s->bit_depth = 8;
    s->chroma_log2_width = 1;
    s->chroma_log2_height = 1;
    s->indicators = nullptr;
    s->flicker_threshold = frameprobe::EventSettings{}.flickerThreshold;
    s->frames = -1;
    s->stream = -1;
}

frameprobe_status frameprobe_create(const frameprobe_settings* given, frameprobe_analysis** out) {
    if (out == nullptr) return FRAMEPROBE_INVALID_ARGUMENT;
    frameprobe_analysis* a = *out = newHandle();
    if (a == nullptr) return FRAMEPROBE_OUT_OF_MEMORY;
    if (given == nullptr) return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "no settings given");
    const frameprobe_settings settings = settingsOf(given);
    const frameprobe_settings* s = &settings;
    // 0 stands for the default; a negative or NaN rate is a mistake, not a request for it.
    if (!(s->fps >= 0))
        return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "the frame rate must be 0 or a positive number");
    return guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        frameprobe::Settings settings;
        settings.width = s->width;
        settings.height = s->height;
        settings.bitDepth = s->bit_depth;
        settings.chromaLog2Width = s->chroma_log2_width;
        settings.chromaLog2Height = s->chroma_log2_height;
        settings.fps = s->fps > 0 ? s->fps : kDefaultFps;
        settings.indicators = indicatorList(*s);
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

frameprobe_status frameprobe_push_yuv(frameprobe_analysis* a, const void* y, ptrdiff_t yStride, const void* u,
                                      ptrdiff_t uStride, const void* v, ptrdiff_t vStride) {
    return guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        if (!a->pushed) return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "this handle takes no frames");
        if (a->pushed->run().bitDepth > 8)
            a->pushed->push(static_cast<const uint16_t*>(y), yStride, static_cast<const uint16_t*>(u), uStride,
                            static_cast<const uint16_t*>(v), vStride);
        else
            a->pushed->push(static_cast<const uint8_t*>(y), yStride, static_cast<const uint8_t*>(u), uStride,
                            static_cast<const uint8_t*>(v), vStride);
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
    int taken = 0;
    // Taking a frame allocates: a failure is the handle's message, never an exception in C.
    guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        const auto next = a->pushed->next();
        if (!next) return FRAMEPROBE_OK;
        *frame = cFrame(*next, a->values);
        taken = 1;
        return FRAMEPROBE_OK;
    });
    return taken;
}

frameprobe_status frameprobe_analyze_file(const char* input, const frameprobe_settings* given,
                                          int (*on_frame)(void*, const frameprobe_frame*), void* user,
                                          frameprobe_analysis** out) {
    if (out == nullptr) return FRAMEPROBE_INVALID_ARGUMENT;
    frameprobe_analysis* a = *out = newHandle();
    if (a == nullptr) return FRAMEPROBE_OUT_OF_MEMORY;
    if (input == nullptr || given == nullptr)
        return failWith(a, FRAMEPROBE_INVALID_ARGUMENT, "no input or settings given");
    const frameprobe_settings settings = settingsOf(given);
    const frameprobe_settings* s = &settings;
    // Settings the input has nothing to do with are the caller's mistake, not the input's.
    const frameprobe_status settingsStatus = guarded(a, FRAMEPROBE_INVALID_ARGUMENT, [&] {
        if (s->start < 0) throw frameprobe::Error("the start frame must be 0 or more");
        if (!(s->fps >= 0) || std::isinf(s->fps))
            throw frameprobe::Error("the frame rate must be 0 or a positive number");
        frameprobe::detail::checkThreads(s->threads);
        frameprobe::detail::eventOptions(eventSettings(*s));
        frameprobe::detail::indicatorMask(indicatorList(*s));
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
        settings.indicators = indicatorList(*s);
        settings.threads = s->threads;
        settings.events = eventSettings(*s);
        std::atomic<bool> stop{false};
        std::function<void(const frameprobe::FrameResult&)> callback;
        if (on_frame != nullptr) {
            callback = [&](const frameprobe::FrameResult& r) {
                const frameprobe_frame f = cFrame(r, a->values);
                if (on_frame(user, &f) != 0) stop = true;
            };
        }
        frameprobe::FileResult result = frameprobe::analyzeFile(settings, callback, &stop);
        a->events = std::move(result.events);
        a->summary = std::move(result.summary);
        a->decodeErrors = result.decodeErrors;
        if (result.run.timecode) a->timecode = result.run.timecode->start;
        a->run = result.run;
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

const char* frameprobe_input_property(const frameprobe_analysis* a, const char* name) {
    if (a == nullptr || name == nullptr || !a->run) return nullptr;
    const frameprobe::RunDescription& run = *a->run;
    const std::string_view n = name;
    const auto text = [](const std::string& s) { return s.empty() ? nullptr : s.c_str(); };
    const auto stated = [](const std::optional<std::string>& s) { return s ? s->c_str() : nullptr; };
    if (n == "pixel_format") return text(run.pixelFormat);
    if (n == "planes_converted_to") return text(run.planesConvertedTo);
    if (n == "chroma_subsampling") return text(run.chromaSubsampling);
    if (n == "color_range") return stated(run.colorRange);
    if (n == "color_matrix") return stated(run.colorMatrix);
    if (n == "color_transfer") return stated(run.colorTransfer);
    if (n == "color_primaries") return stated(run.colorPrimaries);
    return nullptr;
}

const char* frameprobe_message(const frameprobe_analysis* a) {
    return a == nullptr ? "no analysis" : a->message.c_str();
}

void frameprobe_destroy(frameprobe_analysis* a) { delete a; }

}  // extern "C"
