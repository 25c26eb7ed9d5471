#include "indicators/registry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

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
#include "kernels/kernels.h"

namespace {

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
constexpr LegacyColumn kNoLegacyColumn = {nullptr, nullptr, nullptr, nullptr, false};

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

int64_t previousFrameOnly(double, int64_t, int64_t) { return 1; }

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

constexpr uint32_t kTemporalActivityBit = 1u << 6;
constexpr uint32_t kBlackoutBit = 1u << 7;
constexpr uint32_t kFreezingBit = 1u << 8;
constexpr uint32_t kFlashAreaBit = 1u << 15;

// Blockiness and blur run as kernels; blockiness() and blur() are their plain
// formulations, kept as the reference the kernels are checked against.
const std::array<IndicatorDescriptor, kIndicatorCount> kRegistry = {
    spatialEntry(0, {"blockiness", "blockiness",
                     fraction("Blockiness: ", "Blockiness: ", " \t%-5.5f", " \t%-5.5f"), {}, Worse::Lower, ""},
                 [](const Image& f, SharedPasses&) -> std::optional<double> { return activeKernels().blockiness(planeOf(f)); }),
    spatialEntry(1, {"spatial activity", "spatial_activity",
                     fraction("Spatial Activity: ", "SA: ", " \t%-5.5f", " \t%-5.5f"), {}, Worse::Lower, "", {}, nullptr,
                     true},
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
                 [](const Image& f, SharedPasses&) -> std::optional<double> { return activeKernels().blur(planeOf(f)); }),
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

}  // namespace

const std::array<IndicatorDescriptor, kIndicatorCount>& indicatorRegistry() { return kRegistry; }

std::optional<int> findIndicator(const char* keyOrName) {
    for (int i = 0; i < kIndicatorCount; ++i) {
        const IndicatorDescriptor& d = kRegistry[static_cast<std::size_t>(i)];
        if (std::strcmp(d.key, keyOrName) == 0 || std::strcmp(d.name, keyOrName) == 0) return i;
    }
    return std::nullopt;
}

std::optional<double> meaningfulValue(const Results& frame, int index) {
    if (!frame.has(index)) return std::nullopt;
    const double v = frame[index];
    if (!std::isfinite(v)) return std::nullopt;
    const auto& noValue = kRegistry[static_cast<std::size_t>(index)].noValue;
    if (noValue && v == *noValue) return std::nullopt;
    return v;
}

int64_t warmUpStart(uint32_t mask, int64_t start, int64_t origin, double fps) {
    if (start <= origin) return origin;
    int64_t first = start;
    for (const IndicatorDescriptor& d : kRegistry) {
        if (d.kind != IndicatorKind::Temporal || !isRequested(d, mask)) continue;
        first = std::min(first, start - std::max<int64_t>(0, d.framesBefore(fps, start, origin)));
    }
    return std::max(first, origin);
}

bool readsPlanes(uint32_t mask) {
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (isRequested(d, mask) && d.reads == Reads::Planes) return true;
    return false;
}
