// Freezing: a picture that has stood still for at least a tenth of a second.
#pragma once

#include <cstdint>

// Run state, owned by the run and kept across frames.
struct FreezingState {
    int32_t freezingTemp = 0;  // length of the current run of still frames
};

uint8_t freezing(FreezingState& state, uint8_t blackout, double temporalActivity, double fps);

#include <memory>

#include "indicators/temporal.h"

// Reads the frame's temporal activity, and its blackout flag when blackout was
// requested (0 otherwise).
std::unique_ptr<TemporalIndicator> makeFreezing(const TemporalGeometry& geometry);

// Still frames that make a freeze at this frame rate: the run length the state must have seen.
int64_t freezingFramesBefore(double fps, int64_t start, int64_t origin);

// The still frames behind the first frame flagged: the flag turns on on the frame that makes
// this many repeats of the picture before them.
int64_t freezingStillFrames(double fps);
