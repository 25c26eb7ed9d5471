#include "indicators/registry.h"

#include "indicators/blackout.h"
#include "indicators/blockLoss.h"
#include "indicators/blockiness.h"
#include "indicators/blur.h"
#include "indicators/contrastRMS.h"
#include "indicators/exposure.h"
#include "indicators/interlace.h"
#include "indicators/letterbox.h"
#include "indicators/noise.h"
#include "indicators/pillarbox.h"
#include "indicators/slice.h"
#include "indicators/spatialActivity.h"
#include "indicators/temporalActivity.h"

namespace {

using Kind = IndicatorKind;

constexpr IndicatorDescriptor spatialEntry(const char* name, int bit, void (*run)(const Image&, Results&)) {
    return {name, 1u << bit, 1u << bit, bit + 1, Kind::Spatial, run, nullptr, false};
}

constexpr IndicatorDescriptor temporalEntry(const char* name, int bit, uint32_t required,
                                            void (*run)(const TemporalInput&, TemporalState&, FrameValues&),
                                            bool afterSpatial) {
    return {name, 1u << bit, required, bit + 1, Kind::Temporal, nullptr, run, afterSpatial};
}

constexpr uint32_t kTemporalActivityBit = 1u << 6;
constexpr uint32_t kFreezingBit = 1u << 8;

const std::array<IndicatorDescriptor, kIndicatorCount> kRegistry = {
    spatialEntry("blockiness", 0, [](const Image& f, Results& r) { r.blockiness = blockiness(f); }),
    spatialEntry("spatial activity", 1, [](const Image& f, Results& r) { r.spatialActivity = spatialActivity(f); }),
    spatialEntry("letterbox", 2, [](const Image& f, Results& r) { r.letterbox = letterbox(f); }),
    spatialEntry("pillarbox", 3, [](const Image& f, Results& r) { r.pillarbox = pillarbox(f); }),
    spatialEntry("block loss", 4, [](const Image& f, Results& r) { r.blockLoss = blockLoss(f); }),
    spatialEntry("blur", 5, [](const Image& f, Results& r) { r.blur = blur(f); }),
    temporalEntry("temporal activity", 6, kTemporalActivityBit,
                  [](const TemporalInput& in, TemporalState&, FrameValues& v) {
                      v.temporalActivity = temporalActivity(in.current, in.previous);
                  },
                  false),
    spatialEntry("blackout", 7, [](const Image& f, Results& r) { r.blackout = blackout(f); }),
    // Freezing reads this frame's temporal activity and blackout flag.
    temporalEntry("freezing", 8, kFreezingBit | kTemporalActivityBit,
                  [](const TemporalInput& in, TemporalState& s, FrameValues& v) {
                      v.freezing = freezing(s.freezing, v.results.blackout, v.temporalActivity, in.fps);
                  },
                  true),
    spatialEntry("exposure", 9, [](const Image& f, Results& r) { r.exposure = exposure(f); }),
    spatialEntry("contrast", 10, [](const Image& f, Results& r) { r.contrastRMS = contrastRMS(f); }),
    spatialEntry("interlace", 11, [](const Image& f, Results& r) { r.interlace = interlace(f); }),
    spatialEntry("noise", 12, [](const Image& f, Results& r) { r.noise = noise(f); }),
    spatialEntry("slice", 13,
                 [](const Image& f, Results& r) {
                     if (const auto value = slice(f)) r.slice = *value;
                 }),
    temporalEntry("flickering", 14, 1u << 14,
                  [](const TemporalInput& in, TemporalState& s, FrameValues& v) {
                      v.flickering = flickering(in.current, in.previous, s.flickering);
                  },
                  false),
};

}  // namespace

const std::array<IndicatorDescriptor, kIndicatorCount>& indicatorRegistry() { return kRegistry; }
