// Per-indicator cost on a 1920x1080 synthetic frame.
#include <benchmark/benchmark.h>

#include "indicators/registry.h"
#include "sample/sample_video.h"

namespace {

void BM_Spatial(benchmark::State& state, const IndicatorDescriptor* d) {
    SampleSpec spec;
    spec.width = 1920;
    spec.height = 1080;
    std::vector<uint8_t> luma = sampleLuma(spec, 3);
    const Image frame = makeImage(1920, 1080, luma.data());
    SharedPasses shared;
    for (auto _ : state) {
        shared.start(frame);
        const auto value = d->spatial(frame, shared);
        benchmark::DoNotOptimize(value);
    }
    state.SetItemsProcessed(state.iterations());
}

const bool registered = [] {
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (d.kind == IndicatorKind::Spatial)
            benchmark::RegisterBenchmark((std::string("spatial/") + d.name).c_str(), BM_Spatial, &d);
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
