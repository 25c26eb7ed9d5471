// Runs the requested indicators of one frame. Spatial indicators run as tasks of
// a persistent worker pool while the calling thread computes the temporal ones;
// every value lands in the frame's own FrameValues, so the outcome does not
// depend on how many workers there are.
#pragma once

#include <vector>

#include "driver/worker_pool.h"
#include "indicators/registry.h"

class FrameScheduler {
public:
    // threads: 0 for the hardware's count, 1 to run everything on the calling thread.
    FrameScheduler(uint32_t requestedVQIs, unsigned threads);

    // hasPrevious is false on the first frame of the range, where no temporal
    // indicator runs.
    void measure(const Image& current, const Image& previous, bool hasPrevious, double fps, TemporalState& state,
                 FrameValues& values);

private:
    std::vector<const IndicatorDescriptor*> spatial_;
    std::vector<const IndicatorDescriptor*> temporalAlongside_;  // overlap the spatial tasks
    std::vector<const IndicatorDescriptor*> temporalAfter_;      // need this frame's spatial results
    WorkerPool pool_;
};
