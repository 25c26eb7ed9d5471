// The table of indicators. The driver walks it instead of naming indicators one
// by one: each entry says which mask bit requests the indicator, which report
// column it fills, whether it looks at one frame or at two, and how to run it.
#pragma once

#include <array>
#include <cstdint>

#include "indicators/flickering.h"
#include "indicators/freezing.h"
#include "indicators/results.h"
#include "tools/image.h"

// Every value of one report row.
struct FrameValues {
    Results results;
    double temporalActivity = 0.0;
    uint8_t freezing = 0;
    double flickering = 0.0;
};

// State the temporal indicators carry from frame to frame, owned by the run.
struct TemporalState {
    FreezingState freezing;
    FlickeringState flickering;
};

struct TemporalInput {
    const Image& current;
    const Image& previous;
    double fps;
};

enum class IndicatorKind { Spatial, Temporal };

struct IndicatorDescriptor {
    const char* name;
    uint32_t maskBit;       // bit of the request mask that names this indicator
    uint32_t requiredMask;  // every bit that must be set for it to run
    int column;             // report column, 1 to 15
    IndicatorKind kind;
    // Spatial: a pure function of the frame, storing into its own Results field.
    void (*spatial)(const Image& frame, Results& results);
    // Temporal: runs on the driver's thread from the second frame of the range on.
    void (*temporal)(const TemporalInput& input, TemporalState& state, FrameValues& values);
    // A temporal indicator that reads a spatial result of the same frame runs
    // once the frame's spatial indicators have finished.
    bool afterSpatial;
};

inline constexpr int kIndicatorCount = 15;
inline constexpr uint32_t kAllIndicators = (1u << kIndicatorCount) - 1;

// In report column order.
const std::array<IndicatorDescriptor, kIndicatorCount>& indicatorRegistry();

inline bool isRequested(const IndicatorDescriptor& d, uint32_t mask) {
    return (mask & d.requiredMask) == d.requiredMask;
}
