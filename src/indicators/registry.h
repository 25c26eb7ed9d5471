// The table of indicators. Everything outside this folder walks it instead of
// naming indicators: each entry says which mask bit requests the indicator, how
// its report column is headed and printed, what its value means for summaries,
// and how to compute it. Entries are in report column order.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "indicators/blackout.h"
#include "indicators/blockLoss.h"
#include "indicators/blockiness.h"
#include "indicators/blur.h"
#include "indicators/brng.h"
#include "indicators/contrastRMS.h"
#include "indicators/exposure.h"
#include "indicators/flash_area.h"
#include "indicators/flickering.h"
#include "indicators/freezing.h"
#include "indicators/interlace.h"
#include "indicators/letterbox.h"
#include "indicators/noise.h"
#include "indicators/pillarbox.h"
#include "indicators/r103.h"
#include "indicators/slice.h"
#include "indicators/spatialActivity.h"
#include "indicators/temporalActivity.h"
#include "indicators/results.h"
#include "indicators/shared_passes.h"
#include "indicators/temporal.h"
#include "tools/image.h"
#include "kernels/kernels.h"
#include "tools/picture.h"

enum class IndicatorKind { Spatial, Temporal };

// What an indicator reads of a frame: the 8-bit luma (the 8 most significant bits of deeper
// samples), or also the planes (Y, U, V) at their own depth, which the engine then asks the
// source for and hands to it alone.
enum class Reads { Luma8, Planes };

// Which end of an indicator's range means a worse picture.
enum class Worse { Higher, Lower };

struct LegacyColumn {
    const char* consoleHeader;  // text after the header's tab; null: not in the legacy table
    const char* logHeader;
    const char* consoleFormat;  // printf format of the cell, with the separator before it
    const char* logFormat;
    bool integer;               // printed through an int conversion (truncated toward zero)
};

// Runs of frames that an indicator's values mark as an event.
enum class EventRule {
    None,
    AboveZero,   // a frame whose value is above zero (a flag)
    AboveLimit,  // a value (or its evidence) above the run's limit for the type (flicker threshold)
    Detected,    // the detector of the type found it on the frame (src/detectors/); the value is not judged
    AboveBound,  // a value above the spec's bound; the evidence, when written, is the frame the run of them starts
};

struct EventSpec {
    const char* type = nullptr;  // "black", "freeze", ...; null: no events
    EventRule rule = EventRule::None;
    int64_t framesPerValue = 1;  // a value stands for this many frames, ending at its own
    // Detected: rows whose detector did not judge them (rows of an older run) are judged by
    // the value as a flag, as before: these frames before the first flagged one belong to
    // the event (a freeze begins at the picture the flagged frames repeat); null: none.
    int64_t (*flagLeadFrames)(double fps) = nullptr;
    // An event type during whose frames this one is not reported (a black frame is not
    // also letterboxed); null: none. Runs that report this type measure that one too.
    const char* exceptDuring = nullptr;
    // AboveLimit: with an evidence key, the limit applies to the indicator's evidence on
    // the frame, which rows carry under that key, instead of to its value; a frame
    // without evidence marks nothing. Null: the value.
    const char* evidenceKey = nullptr;
    double bound = 0;  // AboveBound: the largest value that passes
};

struct IndicatorDescriptor {
    const char* name;       // "spatial activity"
    const char* key;        // "spatial_activity": JSON key and command-line name
    uint32_t maskBit;       // bit of the request mask that names this indicator
    uint32_t requiredMask;  // every bit that must be set for it to run
    uint32_t readsMask;     // values of this frame it reads when they are requested
    LegacyColumn column;
    std::optional<double> noValue;  // a value that stands for "no value"
    Worse worse;
    const char* unit;               // "" when the value has no unit
    EventSpec event;
    IndicatorKind kind;
    // Spatial: a pure function of the frame, safe to call on any thread, that
    // may take work shared with other indicators of the same frame from
    // `shared`; some have no value on some frames.
    std::optional<double> (*spatial)(const Image& frame, SharedPasses& shared);
    // Temporal: made once per run.
    std::unique_ptr<TemporalIndicator> (*makeTemporal)(const TemporalGeometry& geometry);
    // Temporal: frames before `start` that a run must read for this
    // indicator's values from `start` on to be those of a run from `origin`.
    int64_t (*framesBefore)(double fps, int64_t start, int64_t origin);
    // What a frame needs for a value, told where a run has none ("needs frames of at
    // least 256x256"); null when every frame of any size has one.
    const char* needs = nullptr;
    Reads reads = Reads::Luma8;
    // Spatial, for an indicator that reads the planes: called instead of `spatial`, with the
    // frame's planes (planeCount 1 for grey input).
    std::optional<double> (*spatialPlanes)(const Image& luma, const Picture& picture, SharedPasses& shared) = nullptr;
    // Its values describe the picture's content (activity, brightness, contrast) rather
    // than a defect: its worst value, a black frame's, says nothing wrong by itself.
    bool describesContent = false;
};

inline bool inLegacyTable(const IndicatorDescriptor& d) { return d.column.consoleHeader != nullptr; }

// Whether a run of the indicators of `mask` reads the planes of its frames.
bool readsPlanes(uint32_t mask);

// The first frame to read so that the rows from `start` on equal those of a run
// from `origin` (origin <= start), for the indicators of `mask`: as late as possible.
int64_t warmUpStart(uint32_t mask, int64_t start, int64_t origin, double fps);

// The entries, in report order. A new indicator is its source, its header and one line
// here (with its header's include above): nothing else counts or lists indicators.
namespace registry_entries {

// The entries are a table laid out by hand, one indicator to a few lines.
// clang-format off

using Spatial = std::optional<double> (*)(const Image&, SharedPasses&);
using MakeTemporal = std::unique_ptr<TemporalIndicator> (*)(const TemporalGeometry&);

struct Description {
    const char* name;
    const char* key;
    LegacyColumn column;
    std::optional<double> noValue;
    Worse worse;
    const char* unit;
    EventSpec event = {};
    const char* needs = nullptr;
    bool content = false;  // describes the picture's content: its worst value is no defect
};

constexpr IndicatorDescriptor spatialEntry(int bit, const Description& d, Spatial run) {
    return {d.name, d.key, 1u << bit, 1u << bit, 0, d.column, d.noValue, d.worse, d.unit, d.event,
            IndicatorKind::Spatial, run, nullptr, nullptr, d.needs, Reads::Luma8, nullptr, d.content};
}

using SpatialPlanes = std::optional<double> (*)(const Image&, const Picture&, SharedPasses&);

// An indicator of the planes at their own depth, shown in every format but the legacy table.
constexpr IndicatorDescriptor planesEntry(int bit, const Description& d, SpatialPlanes run) {
    return {d.name, d.key, 1u << bit, 1u << bit, 0, d.column, d.noValue, d.worse, d.unit, d.event,
            IndicatorKind::Spatial, nullptr, nullptr, nullptr, d.needs, Reads::Planes, run, d.content};
}
inline constexpr LegacyColumn kNoLegacyColumn = {nullptr, nullptr, nullptr, nullptr, false};

using FramesBefore = int64_t (*)(double fps, int64_t start, int64_t origin);

constexpr IndicatorDescriptor temporalEntry(int bit, const Description& d, uint32_t required, uint32_t reads,
                                            MakeTemporal make, FramesBefore framesBefore) {
    return {d.name, d.key, 1u << bit, required, reads, d.column, d.noValue, d.worse, d.unit, d.event,
            IndicatorKind::Temporal, nullptr, make, framesBefore, d.needs, Reads::Luma8, nullptr, d.content};
}

// A temporal indicator that reads the planes of both frames (pairPictures).
constexpr IndicatorDescriptor temporalPlanesEntry(int bit, const Description& d, uint32_t required, MakeTemporal make,
                                                  FramesBefore framesBefore) {
    return {d.name, d.key, 1u << bit, required, 0, d.column, d.noValue, d.worse, d.unit, d.event,
            IndicatorKind::Temporal, nullptr, make, framesBefore, d.needs, Reads::Planes, nullptr, d.content};
}

inline int64_t previousFrameOnly(double, int64_t, int64_t) { return 1; }

template <double (*F)(const Image&)>
std::optional<double> always(const Image& frame, SharedPasses&) {
    return F(frame);
}

template <std::optional<double> (*F)(const Image&)>
std::optional<double> sometimes(const Image& frame, SharedPasses&) {
    return F(frame);
}

constexpr LegacyColumn fraction(const char* consoleHeader, const char* logHeader, const char* consoleFormat,
                                const char* logFormat) {
    return {consoleHeader, logHeader, consoleFormat, logFormat, false};
}
constexpr LegacyColumn integer(const char* header, const char* consoleFormat, const char* logFormat) {
    return {header, header, consoleFormat, logFormat, true};
}

inline constexpr uint32_t kTemporalActivityBit = 1u << 6;
inline constexpr uint32_t kBlackoutBit = 1u << 7;
inline constexpr uint32_t kFreezingBit = 1u << 8;
inline constexpr uint32_t kFlashAreaBit = 1u << 15;

// Blockiness and blur run as kernels; blockiness() and blur() are their plain
// formulations, kept as the reference the kernels are checked against.
inline constexpr std::array kRegistry = {
    spatialEntry(0, {"blockiness", "blockiness",
                     fraction("Blockiness: ", "Blockiness: ", " \t%-5.5f", " \t%-5.5f"), {}, Worse::Lower, ""},
                 [](const Image& f, SharedPasses&) -> std::optional<double> {
                     return activeKernels().blockiness(planeOf(f));
                 }),
    spatialEntry(1, {"spatial activity", "spatial_activity",
                     fraction("Spatial Activity: ", "SA: ", " \t%-5.5f", " \t%-5.5f"), {}, Worse::Lower, "", {},
                     nullptr, true},
                 always<spatialActivity>),
    spatialEntry(2, {"letterbox", "letterbox",
                     fraction("Letterbox: ", "Letterbox: ", " \t\t%-5.5f", " \t%-5.5f"), {}, Worse::Higher,
                     "share of the height", {"letterbox", EventRule::Detected, 1, nullptr, "black"}},
                 always<letterbox>),
    spatialEntry(3, {"pillarbox", "pillarbox",
                     fraction("Pillarbox: ", "Pillarbox: ", " \t%-5.5f", " \t%-5.5f"), {}, Worse::Higher,
                     "share of the width", {"pillarbox", EventRule::Detected, 1, nullptr, "black"}},
                 always<pillarbox>),
    spatialEntry(4, {"block loss", "block_loss",
                     fraction("Blockloss: ", "Blockloss: ", " \t%-5.5f", " \t%-5.5f"), -1.0, Worse::Higher,
                     "runs per region", {}, "needs frames of at least 256x256"},
                 always<blockLoss>),
    spatialEntry(5, {"blur", "blur", fraction("Blur: \t", "Blur: ", " \t%-7.3f", " \t%-5.3f"), {}, Worse::Higher,
                     "pixels"},
                 [](const Image& f, SharedPasses&) -> std::optional<double> {
                     return activeKernels().blur(planeOf(f));
                 }),
    temporalEntry(6, {"temporal activity", "temporal_activity",
                      fraction("TemporalAct: ", "TA: ", " \t%-5.5f", " \t%-5.5f"), {}, Worse::Higher, "", {}, nullptr,
                      true},
                  kTemporalActivityBit, 0, makeTemporalActivity, previousFrameOnly),
    spatialEntry(7, {"blackout", "blackout", integer("Blackout: ", " \t%-d", " \t%-d"), {}, Worse::Higher, "",
                     {"black", EventRule::Detected}},
                 [](const Image& f, SharedPasses& shared) -> std::optional<double> {
                     return blackoutOfSums(shared.blockSums8(), static_cast<uint32_t>(f.w), static_cast<uint32_t>(f.h));
                 }),
    // Freezing reads this frame's temporal activity and, when requested, its blackout flag.
    temporalEntry(8, {"freezing", "freezing", integer("Freezing: ", " \t\t%-d", " \t%-d"), {}, Worse::Higher, "",
                      {"freeze", EventRule::Detected, 1, freezingStillFrames}},
                  kFreezingBit | kTemporalActivityBit, kBlackoutBit, makeFreezing, freezingFramesBefore),
    spatialEntry(9, {"exposure", "exposure", integer("Exposure(bri): ", " \t\t%-6i", " \t%-6i"), {}, Worse::Lower,
                     "mean level", {}, nullptr, true},
                 [](const Image& f, SharedPasses& shared) -> std::optional<double> {
                     return exposureOfSums(shared.blockSums8(), static_cast<uint32_t>(f.w), static_cast<uint32_t>(f.h));
                 }),
    spatialEntry(10, {"contrast", "contrast",
                      fraction("Contrast: ", "Contrast: ", " \t\t%-5.5f", " \t%-5.5f"), {}, Worse::Lower, "levels",
                      {}, nullptr, true},
                 always<contrastRMS>),
    spatialEntry(11, {"interlace", "interlace",
                      fraction("Interlace: ", "Interlace: ", " \t%-5.5f", " \t%-5.5f"), {}, Worse::Higher,
                      "share of groups"},
                 always<interlace>),
    spatialEntry(12, {"noise", "noise", fraction("Noise: \t", "Noise: ", " \t%-8.2f", " \t%-8.4f"), {},
                      Worse::Higher, "levels"},
                 always<noise>),
    spatialEntry(13, {"slice", "slice", fraction("Slice: \t", "Slice: ", " \t%-7.3f", " \t%-7.3f"), {},
                      Worse::Higher, "", {}, "needs frames of at least 17 pixels wide and 48 high"},
                 sometimes<slice>),
    temporalEntry(14, {"flickering", "flickering",
                       fraction("Flickering:", "Flickering:", " \t%-5.5f", " \t%-5.5f"), -1.0, Worse::Higher,
                       "switches per frame", {"flicker", EventRule::AboveLimit, kFlickeringPeriod, nullptr, nullptr,
                                                   "flickering_of_flicker_blocks"}},
                  1u << 14, 0, makeFlickering, flickeringFramesBefore),
    // The photosensitive flash rule: flash area measures it whole and gives the three after it.
    temporalPlanesEntry(15, {"flash area", "flash_area", kNoLegacyColumn, {}, Worse::Higher, "share of the screen"},
                        kFlashAreaBit, makeFlashArea, flashFramesBefore),
    temporalEntry(16, {"red flash area", "red_flash_area", kNoLegacyColumn, {}, Worse::Higher, "share of the screen"},
                  kFlashAreaBit | (1u << 16), 0, makeGivenByFlashArea, flashFramesBefore),
    temporalEntry(17, {"flash luminance change", "flash_luminance_change", kNoLegacyColumn, {}, Worse::Higher,
                       "cd/m²"},
                  kFlashAreaBit | (1u << 17), 0, makeGivenByFlashArea, flashFramesBefore),
    temporalEntry(18, {"flashes per second", "flashes_per_second", kNoLegacyColumn, {}, Worse::Higher,
                       "flashes in the last second",
                       {"flash", EventRule::AboveBound, 1, nullptr, nullptr, nullptr, kMostFlashes}},
                  kFlashAreaBit | (1u << 18), 0, makeGivenByFlashArea, flashFramesBefore),
    planesEntry(19, {"R103 luma", "r103_luma", kNoLegacyColumn, {}, Worse::Higher, "share of the picture"},
                r103Luma),
    planesEntry(20, {"R103 RGB", "r103_rgb", kNoLegacyColumn, {}, Worse::Higher, "share of the picture"},
                r103Rgb),
    planesEntry(21, {"broadcast range", "brng", kNoLegacyColumn, {}, Worse::Higher, "share of the chroma positions"},
                outOfBroadcastRange),
};

// clang-format on
}  // namespace registry_entries

inline constexpr int kIndicatorCount = static_cast<int>(registry_entries::kRegistry.size());
static_assert(kIndicatorCount <= kMaxIndicators, "the request mask has a bit per indicator");

inline constexpr uint32_t kAllIndicators = (1u << kLumaIndicatorCount) - 1;
inline constexpr uint32_t kEveryIndicator = kIndicatorCount == 32 ? ~0u : (1u << kIndicatorCount) - 1;
// The table's and log's columns: the luma indicators' (the others have null headers).
inline constexpr uint32_t kLegacyIndicators = kAllIndicators;

inline const std::array<IndicatorDescriptor, kIndicatorCount>& indicatorRegistry() {
    return registry_entries::kRegistry;
}

inline bool isRequested(const IndicatorDescriptor& d, uint32_t mask) {
    return (mask & d.requiredMask) == d.requiredMask;
}

// A flag: 0 or 1, and 1 marks its event, so its worst value says no more than its events.
inline bool isFlag(const IndicatorDescriptor& d) {
    return d.column.integer && (d.event.rule == EventRule::AboveZero || d.event.rule == EventRule::Detected);
}

// Index of the entry with this key or name, if any.
std::optional<int> findIndicator(const char* keyOrName);

// The value as a number users can build on: null for no value (not written,
// the entry's no-value marker, NaN, infinities).
std::optional<double> meaningfulValue(const Results& frame, int index);
