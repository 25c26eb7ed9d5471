#include "output/jsonl_reader.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <optional>
#include <tuple>

#include <nlohmann/json.hpp>

#include "detectors/judged_detections.h"
#include "indicators/registry.h"

namespace {

using nlohmann::json;

// JSON has no NaN: null stands for a number that was not finite.
double numberOrNaN(const json& value) {
    return value.is_number() ? value.get<double>() : std::numeric_limits<double>::quiet_NaN();
}

// Frame numbers and counts as runs write them: whole numbers from 0 to 2^31 - 1
// (counts to 2^31), so that joining parts never overflows.
constexpr int64_t kLastFrame = std::numeric_limits<int32_t>::max();

int64_t frameNumber(const json& value, const char* what, int64_t highest = kLastFrame) {
    if (!value.is_number_integer() || (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(highest)) ||
        value.get<int64_t>() < 0 || value.get<int64_t>() > highest)
        throw std::runtime_error(std::string(what) + " " + value.dump() + " is not a whole number from 0 to " +
                                 std::to_string(highest));
    return value.get<int64_t>();
}

std::optional<int64_t> frameCountOrNull(const json& input, const char* key) {
    const auto it = input.find(key);
    if (it == input.end() || it->is_null()) return std::nullopt;
    return frameNumber(*it, key, kLastFrame + 1);
}

uint32_t maskOf(const json& keys) {
    uint32_t mask = 0;
    for (const json& key : keys) {
        const auto index = findIndicator(key.get<std::string>().c_str());
        if (!index) throw std::runtime_error("unknown indicator \"" + key.get<std::string>() + "\"");
        mask |= indicatorRegistry()[static_cast<std::size_t>(*index)].requiredMask;
    }
    return mask;
}

std::optional<std::string> stringOrNull(const json& input, const char* key) {
    const auto found = input.find(key);
    if (found == input.end() || found->is_null()) return std::nullopt;
    return found->get<std::string>();
}

// Results written before the input described its pictures read as 8-bit 4:2:0 of no stated colour.
PictureFormat pictureOf(const json& input, int bitDepth) {
    PictureFormat picture;
    picture.pixelFormat = stringOrNull(input, "pixel_format").value_or("");
    picture.convertedTo = stringOrNull(input, "planes_converted_to").value_or("");
    picture.bitDepth = bitDepth;
    const std::string subsampling = stringOrNull(input, "chroma_subsampling").value_or("4:2:0");
    for (const char* layout : {"yuv420p", "yuv422p", "yuv444p", "yuv411p", "yuv440p", "yuv410p", "gray"}) {
        const std::optional<PictureFormat> known = planarFormat(layout);
        if (chromaSubsampling(*known) != subsampling) continue;
        picture.planes = known->planes;
        picture.log2ChromaWidth = known->log2ChromaWidth;
        picture.log2ChromaHeight = known->log2ChromaHeight;
    }
    picture.colorRange = stringOrNull(input, "color_range");
    picture.colorMatrix = stringOrNull(input, "color_matrix");
    picture.colorTransfer = stringOrNull(input, "color_transfer");
    picture.colorPrimaries = stringOrNull(input, "color_primaries");
    return picture;
}

void readHeader(const json& header, RecordedRun& run) {
    const json& input = header.at("input");
    RunInfo& info = run.info;
    info.path = input.at("path").get<std::string>();
    info.format = input.at("format").get<std::string>();
    info.width = input.at("width").get<uint32_t>();
    info.height = input.at("height").get<uint32_t>();
    info.fps = numberOrNaN(input.at("fps"));
    info.bitDepth = input.at("bit_depth").get<int>();
    info.picture = pictureOf(input, info.bitDepth);
    info.startFrame = frameNumber(input.at("first_frame"), "first_frame");
    info.origin = input.contains("origin") ? frameNumber(input.at("origin"), "origin") : info.startFrame;
    info.frameCount = frameCountOrNull(input, "frame_count");
    info.runFrameCount = frameCountOrNull(input, "run_frame_count");
    if (const auto tc = input.find("timecode"); tc != input.end() && !tc->is_null())
        info.timecode = StartTimecode{tc->at("start").get<std::string>(), tc->at("fps").get<int>(),
                                      tc->at("drop_frame").get<bool>()};
    const json& settings = header.at("settings");
    info.mask = maskOf(settings.at("indicators"));
    const json& events = settings.at("events");
    for (const auto& [type, seconds] : events.at("min_duration").items())
        run.events.minDuration[type] = numberOrNaN(seconds);
    run.events.flickerThreshold = numberOrNaN(events.at("flicker_threshold"));
    if (events.contains("recovery"))
        for (const auto& [type, seconds] : events.at("recovery").items())
            run.events.recovery[type] = numberOrNaN(seconds);
    if (events.contains("severity"))
        for (const auto& [type, level] : events.at("severity").items()) {
            const auto severity = severityNamed(level.get<std::string>());
            if (!severity) throw std::runtime_error("unknown severity " + level.dump() + " of " + type);
            run.events.severity[type] = *severity;
        }
    if (settings.contains("indicators_added_by"))
        for (const auto& [key, by] : settings.at("indicators_added_by").items())
            info.addedBy[key] = by.get<std::string>();
}

// Whether the run wrote the indicator on `frame`: every requested one, but the
// temporal ones not on the first frame of the whole run.
bool wouldBeWritten(const IndicatorDescriptor& d, const RunInfo& info, int64_t frame) {
    return isRequested(d, info.mask) && (d.kind == IndicatorKind::Spatial || frame > info.origin);
}

// A null the run wrote stood for a value that was not finite, which the legacy
// table prints: it comes back as the NaN of this machine's 0/0, as the indicators
// compute it.
double divisionNaN() {
    volatile double zero = 0.0;
    return zero / zero;
}

Results readRow(const json& record, const RunInfo& info) {
    static const double notFinite = divisionNaN();
    Results row;
    const auto& registry = indicatorRegistry();
    const int64_t frame = frameNumber(record.at("frame"), "frame");
    for (int i = 0; i < kIndicatorCount; ++i) {
        const IndicatorDescriptor& d = registry[static_cast<std::size_t>(i)];
        const json& value = record.at(d.key);
        if (value.is_number())
            row.set(i, value.get<double>());
        else if (wouldBeWritten(d, info, frame))
            row.set(i, d.noValue.value_or(notFinite));
        if (d.event.evidenceKey && record.contains(d.event.evidenceKey) &&
            record.at(d.event.evidenceKey).is_number())
            row.setEvidence(i, record.at(d.event.evidenceKey).get<double>());
    }
    // The detectors judged every frame of the run; what they found is on the frames that show it.
    Detections& found = row.detections;
    found.judged = judgedDetections(info.mask);
    if (const auto detected = record.find("detected"); detected != record.end() && detected->is_object()) {
        const auto number = [](const json& details, const char* key) {
            const auto it = details.find(key);
            return it != details.end() && it->is_number_integer() ? it->get<int64_t>() : int64_t{-1};
        };
        const auto width = [&](const json& details, const char* key) {
            return static_cast<uint16_t>(std::clamp<int64_t>(number(details, key), 0, UINT16_MAX));
        };
        for (int k = 0; k < kDetectionCount; ++k) {
            const auto it = detected->find(kDetectionTypes[static_cast<std::size_t>(k)].type);
            if (it == detected->end() || !it->is_object()) continue;
            found.set(static_cast<Detection>(k), true);
            found.judged |= 1u << k;
            if (it->contains("top"))
                found.bars = {width(*it, "top"), width(*it, "bottom"), width(*it, "left"), width(*it, "right")};
            if (it->contains("level")) found.level = static_cast<int>(number(*it, "level"));
            if (it->contains("cb") && it->contains("cr"))
                std::tie(found.cb, found.cr) =
                    std::pair(static_cast<int>(std::clamp<int64_t>(number(*it, "cb"), -1, 255)),
                              static_cast<int>(std::clamp<int64_t>(number(*it, "cr"), -1, 255)));
            if (it->contains("since"))
                (k == static_cast<int>(Detection::Flicker) ? found.flickerStart : found.freezeStart) =
                    number(*it, "since");
            if (const auto rate = it->find("rate"); rate != it->end() && rate->is_number())
                found.flickerRate = rate->get<double>();
        }
    }
    // A container's frames keep their presentation times; other inputs' times follow from the rate.
    const json& time = record.at("time");
    if (info.format != "raw" && info.format != "y4m" && time.is_number()) row.time = time.get<double>();
    return row;
}

// A "decode_error" event back as the place where frames were lost: before its frame, at its end
// time, as many as its duration holds at the run's rate.
std::vector<DecodeError> readDecodeErrors(const json& summary, const RunInfo& info) {
    std::vector<DecodeError> errors;
    for (const json& event : summary.at("events")) {
        if (event.at("type") != "decode_error") continue;
        DecodeError e;
        e.frame = frameNumber(event.at("start_frame"), "start_frame", kLastFrame + 1);
        if (event.at("end_time").is_number()) e.time = event.at("end_time").get<double>();
        // A run loses at most as many frames as it may number.
        const double frames = numberOrNaN(event.at("duration")) * info.fps;
        e.frames = std::isfinite(frames) ? std::llround(std::clamp(frames, 1.0, double(kLastFrame) + 1)) : 1;
        errors.push_back(e);
    }
    // The run's count is the one to keep should the events not tell how many frames each lost.
    const json& run = summary.at("run");
    const int64_t total = run.contains("decode_errors")
                              ? frameNumber(run.at("decode_errors"), "decode_errors", kLastFrame + 1)
                              : framesLost(errors);
    if (!errors.empty() && framesLost(errors) != total) errors.back().frames += total - framesLost(errors);
    if (errors.empty() && total > 0)
        throw std::runtime_error("decode_errors " + std::to_string(total) + " without its events");
    if (!errors.empty() && errors.back().frames < 1)
        throw std::runtime_error("decode_errors does not match its events");
    return errors;
}

}  // namespace

RecordedRun readJsonlRun(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw RecordedRunError(path + ": cannot read it");
    RecordedRun run;
    run.name = path;
    bool header = false;
    bool summary = false;
    int lineNumber = 0;
    for (std::string line; std::getline(in, line);) {
        ++lineNumber;
        // Blank lines carry nothing: an editor's closing newline, or lines joined by hand.
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        try {
            const json record = json::parse(line);
            const std::string type = record.at("type").get<std::string>();
            if (summary) throw RecordedRunError(where + "holds more than one run");
            if (type == "header") {
                if (header) throw RecordedRunError(where + "holds more than one run");
                readHeader(record, run);
                header = true;
            } else if (!header) {
                throw RecordedRunError(where + "the header record must come first");
            } else if (type == "frame") {
                run.rows.push_back(readRow(record, run.info));
                run.frames.push_back(record.at("frame").get<int64_t>());
            } else if (type == "summary") {
                if (record.at("interrupted").get<bool>()) throw RecordedRunError(path + ": its run was interrupted");
                const json& timing = record.at("run");
                run.info.threads = timing.at("threads").get<unsigned>();
                run.seconds = numberOrNaN(timing.at("seconds"));
                run.decodeErrors = readDecodeErrors(record, run.info);
                summary = true;
            }
        } catch (const json::exception& e) {
            throw RecordedRunError(where + "not a frameprobe JSON Lines record (" + e.what() + ")");
        } catch (const RecordedRunError&) {
            throw;
        } catch (const std::exception& e) {
            throw RecordedRunError(where + e.what());
        }
    }
    if (in.bad()) throw RecordedRunError(path + ": cannot read it");
    if (!header) throw RecordedRunError(path + ": no header record: not a frameprobe JSON Lines output");
    if (!summary) throw RecordedRunError(path + ": no summary record: its run did not finish");
    return run;
}
