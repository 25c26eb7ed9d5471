#include "driver/scheduler.h"

#include <tbb/task_group.h>

FrameScheduler::FrameScheduler(uint32_t requestedVQIs, unsigned threads)
    : arena_(threads == 0 ? tbb::task_arena::automatic : static_cast<int>(threads)) {
    for (const IndicatorDescriptor& d : indicatorRegistry()) {
        if (!isRequested(d, requestedVQIs)) continue;
        if (d.kind == IndicatorKind::Spatial)
            spatial_.push_back(&d);
        else if (d.afterSpatial)
            temporalAfter_.push_back(&d);
        else
            temporalAlongside_.push_back(&d);
    }
}

void FrameScheduler::measure(const Image& current, const Image& previous, bool hasPrevious, double fps,
                             TemporalState& state, FrameValues& values) {
    arena_.execute([&] {
        tbb::task_group group;
        Results& results = values.results;
        for (const IndicatorDescriptor* d : spatial_) {
            group.run([d, &current, &results] { d->spatial(current, results); });
        }
        const TemporalInput input{current, previous, fps};
        if (hasPrevious) {
            for (const IndicatorDescriptor* d : temporalAlongside_) d->temporal(input, state, values);
        }
        // The wait publishes every spatial result to this thread.
        group.wait();
        if (hasPrevious) {
            for (const IndicatorDescriptor* d : temporalAfter_) d->temporal(input, state, values);
        }
    });
}
