#include "driver/scheduler.h"

FrameScheduler::FrameScheduler(uint32_t requestedVQIs, unsigned threads) : pool_(threads) {
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
    const TemporalInput input{current, previous, fps};
    auto spatialTask = [&](std::size_t i) { spatial_[i]->spatial(current, values.results); };
    pool_.run(spatial_.size(), spatialTask, [&] {
        if (!hasPrevious) return;
        for (const IndicatorDescriptor* d : temporalAlongside_) d->temporal(input, state, values);
    });
    // The pool has finished every spatial task, so their results are visible here.
    if (hasPrevious) {
        for (const IndicatorDescriptor* d : temporalAfter_) d->temporal(input, state, values);
    }
}
