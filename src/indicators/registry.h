// The table of indicators. Everything outside this folder walks it instead of
// naming indicators: each entry says which mask bit requests the indicator, how
// its report column is headed and printed, what its value means for summaries,
// and how to compute it. Entries are in report column order.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "indicators/results.h"
#include "indicators/shared_passes.h"
#include "indicators/temporal.h"
#include "tools/image.h"
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

inline constexpr uint32_t kAllIndicators = (1u << kLumaIndicatorCount) - 1;
inline constexpr uint32_t kEveryIndicator = (1u << kIndicatorCount) - 1;
// The table's and log's columns: the luma indicators' (the others have null headers).
inline constexpr uint32_t kLegacyIndicators = kAllIndicators;

const std::array<IndicatorDescriptor, kIndicatorCount>& indicatorRegistry();

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
