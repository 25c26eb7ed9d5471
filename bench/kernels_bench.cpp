// Each kernel variant this CPU can run against the function it replaces, on a
// 1920x1080 synthetic frame and on the same frame with noise added.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "indicators/blockiness.h"
#include "indicators/blur.h"
#include "indicators/spatialActivity.h"
#include "indicators/slice.h"
#include "kernels/band_repeats_kernel.h"
#include "kernels/block_stats_kernel.h"
#include "kernels/block_sums_kernel.h"
#include "kernels/blockiness_kernel.h"
#include "kernels/blur_kernel.h"
#include "kernels/comb_groups_kernel.h"
#include "kernels/kernels.h"
#include "kernels/residual_deviations_kernel.h"
#include "kernels/sobel_kernel.h"
#include "kernels/strong_bits_kernel.h"
#include "sample/sample_video.h"
#include "tools/filtering.h"
#include "tools/sums.h"

namespace {

constexpr uint32_t W = 1920;
constexpr uint32_t H = 1080;

std::vector<uint8_t> frameSamples(bool noisy) {
    SampleSpec spec;
    spec.width = W;
    spec.height = H;
    std::vector<uint8_t> luma = sampleLuma(spec, 3);
    if (noisy) {
        std::mt19937 rng(7);
        for (uint8_t& v : luma)
            v = static_cast<uint8_t>(std::clamp(int{v} + static_cast<int>(rng() % 21) - 10, 0, 255));
    }
    return luma;
}

const std::vector<uint8_t>& samples(bool noisy) {
    static const std::vector<uint8_t> clean = frameSamples(false);
    static const std::vector<uint8_t> withNoise = frameSamples(true);
    return noisy ? withNoise : clean;
}

Image imageOf(bool noisy) { return makeImage(W, H, const_cast<uint8_t*>(samples(noisy).data())); }

template <typename Body>
void registerBoth(const std::string& name, Body body) {
    for (bool noisy : {false, true}) {
        benchmark::RegisterBenchmark((name + (noisy ? "/noisy" : "/clean")).c_str(), [=](benchmark::State& state) {
            const Image frame = imageOf(noisy);
            for (auto _ : state) body(frame);
        });
    }
}

template <typename F, typename Call>
void registerVariants(const std::string& kernel, std::span<const KernelVariant<F>> variants, Call call) {
    for (const KernelVariant<F>& v : variants) {
        if (!cpuCanRun(v.level)) continue;
        F* fn = v.fn;
        registerBoth(kernel + "/" + v.name, [=](const Image& frame) { call(fn, planeOf(frame)); });
    }
}

const bool registered = [] {
    registerBoth("blur/reference", [](const Image& f) { benchmark::DoNotOptimize(blur(f)); });
    registerVariants("blur", blurVariants(), [](BlurKernel* fn, const Plane& p) { benchmark::DoNotOptimize(fn(p)); });

    registerBoth("blockiness/reference", [](const Image& f) { benchmark::DoNotOptimize(blockiness(f)); });
    registerVariants("blockiness", blockinessVariants(),
                     [](BlockinessKernel* fn, const Plane& p) { benchmark::DoNotOptimize(fn(p)); });

    for (uint32_t size : {8u, 16u}) {
        const std::string name = "blockDeviations" + std::to_string(size);
        registerBoth(name + "/reference", [size](const Image& f) { thread_local BlockDeviationBuffers buffers;
            benchmark::DoNotOptimize(blockDeviations(f, size, buffers)); });
        registerVariants(name, blockDeviationsVariants(), [size](BlockDeviationsKernel* fn, const Plane& p) {
            thread_local std::vector<double> out(size_t{W / 8} * (H / 8));
            fn(p, size, out.data());
            benchmark::DoNotOptimize(out.data());
        });
    }

    registerBoth("sobelEnergy/reference", [](const Image& f) { benchmark::DoNotOptimize(spatialAct(f)); });
    registerVariants("sobelEnergy", sobelEnergyVariants(),
                     [](SobelEnergyKernel* fn, const Plane& p) { benchmark::DoNotOptimize(fn(p)); });

    registerBoth("blockSums8/reference", [](const Image& f) {
        thread_local std::vector<int32_t> out(size_t{W / 8} * (H / 8));
        std::fill(out.begin(), out.end(), 0);
        blockSums(f, makeImage32(W / 8, H / 8, out.data()), 8, 8);
        benchmark::DoNotOptimize(out.data());
    });
    registerVariants("blockSums8", blockSums8Variants(), [](BlockSums8Kernel* fn, const Plane& p) {
        thread_local std::vector<int32_t> out(size_t{W / 8} * (H / 8));
        fn(p, out.data());
        benchmark::DoNotOptimize(out.data());
    });

    // Flicker's start: the frame against the other one of the pair (clean against noisy).
    registerVariants("blockSumsAndDiffs8", blockSumsAndDiffs8Variants(),
                     [](BlockSumsAndDiffs8Kernel* fn, const Plane& p) {
                         thread_local std::vector<int32_t> sums(size_t{W / 8} * (H / 8)), diffs(sums.size());
                         const Plane other = planeOf(imageOf(p.data != samples(true).data()));
                         fn(p, other, sums.data(), diffs.data());
                         benchmark::DoNotOptimize(diffs.data());
                     });

    // The turns of every block over a window of 33 frames (1.25 s at 25 fps): the frame's block
    // sums, every fourth block moving back and forth.
    registerVariants("turnCounts", turnCountsVariants(), [](TurnCountsKernel* fn, const Plane& p) {
        constexpr std::size_t kBlocks = std::size_t{W / 8} * (H / 8), kSteps = 33;
        thread_local std::vector<int32_t> sums(kBlocks);
        thread_local std::vector<uint16_t> window(kBlocks * kSteps), turns(kBlocks);
        thread_local std::vector<const uint16_t*> rows(kSteps);
        thread_local const uint8_t* windowOf = nullptr;  // built once per frame, outside the timing's work
        if (windowOf != p.data) {
            windowOf = p.data;
            blockSums8Variants().front().fn(p, sums.data());
            for (std::size_t k = 0; k < kSteps; ++k) {
                rows[k] = window.data() + k * kBlocks;
                for (std::size_t i = 0; i < kBlocks; ++i)
                    window[k * kBlocks + i] =
                        static_cast<uint16_t>(sums[i] / 2 + (i % 4 == 0 && k % 6 < 3 ? 400 : 0) + k);
            }
        }
        fn(rows.data(), kSteps, kBlocks, 128, turns.data());
        benchmark::DoNotOptimize(turns.data());
    });

    // Block loss's strong energies of every row against the row above, at every column and at the
    // grid columns; the limit is about the energy of the noise added.
    registerVariants("strongBits", strongBitsVariants(), [](StrongBitsKernel* fn, const Plane& p) {
        thread_local std::vector<uint64_t> bits((W + 63) / 64);
        for (uint32_t y = 1; y < p.height; ++y)
            fn(p.data + (y - 1) * p.stride, p.data + y * p.stride, W, 200, bits.data());
        benchmark::DoNotOptimize(bits.data());
    });
    registerVariants("gridStrongBits", gridStrongBitsVariants(), [](GridStrongBitsKernel* fn, const Plane& p) {
        thread_local std::vector<uint64_t> bits((W / 16 + 63) / 64);
        for (uint32_t y = 1; y < p.height; ++y)
            fn(p.data + (y - 1) * p.stride, p.data + y * p.stride, W / 16, 200, bits.data());
        benchmark::DoNotOptimize(bits.data());
    });

    registerVariants("combGroups", combGroupsVariants(),
                     [](CombGroupsKernel* fn, const Plane& p) { benchmark::DoNotOptimize(fn(p)); });

    for (const Kernels* table : availableKernels())
        registerBoth(std::string("robertsEnergy/") + cpuLevelName(table->level),
                     [fn = table->robertsEnergy](const Image& f) { benchmark::DoNotOptimize(fn(planeOf(f))); });

    for (const Kernels* table : availableKernels())
        registerBoth(std::string("sumAndSquareSum/") + cpuLevelName(table->level),
                     [fn = table->sumAndSquareSum](const Image& f) {
                         uint64_t sum = 0, squares = 0;
                         fn(planeOf(f), sum, squares);
                         benchmark::DoNotOptimize(sum + squares);
                     });

    // Noise's smoothed residuals on a strip of 1000 gathered blocks: the frame's
    // first samples read as eight rows of 8000.
    static const double kWeights[9] = {0.05, 0.12, 0.05, 0.12, 0.3, 0.12, 0.05, 0.12, 0.05};
    constexpr uint32_t kBlocks = 1000;
    registerBoth("residualDeviations/reference", [](const Image& f) {
        thread_local std::vector<uint8_t> strip(size_t{kBlocks} * 64);
        thread_local std::vector<double> filtered(strip.size()), residual(strip.size()), sums(kBlocks),
            squares(kBlocks), devs(kBlocks);
        for (uint32_t y = 0; y < 8; ++y)
            std::copy_n(f.data + y * kBlocks * 8, kBlocks * 8, strip.begin() + y * kBlocks * 8);
        const Image src = makeImage(kBlocks * 8, 8, strip.data());
        ImageDouble dst = makeImageDouble(kBlocks * 8, 8, filtered.data());
        const ImageDouble mask = makeImageDouble(3, 3, const_cast<double*>(kWeights));
        filter(&src, &dst, &mask, kBlocks, 8, 8);
        for (size_t i = 0; i < strip.size(); ++i) residual[i] = strip[i] - filtered[i];
        std::fill(sums.begin(), sums.end(), 0.0);
        std::fill(squares.begin(), squares.end(), 0.0);
        ImageDouble r = makeImageDouble(kBlocks * 8, 8, residual.data()), s = makeImageDouble(kBlocks, 1, sums.data()),
                    q = makeImageDouble(kBlocks, 1, squares.data()), d = makeImageDouble(kBlocks, 1, devs.data());
        calculateInteriorStdDevs(&r, &s, &q, &d, &mask, 8, 8);
        benchmark::DoNotOptimize(devs.data());
    });
    registerVariants("residualDeviations", residualDeviationsVariants(),
                     [](ResidualDeviationsKernel* fn, const Plane& p) {
                         thread_local std::vector<double> devs(kBlocks);
                         fn(p.data, kBlocks * 8, kBlocks, kWeights, devs.data());
                         benchmark::DoNotOptimize(devs.data());
                     });

    // The reference: both equality maps, then their band sums.
    constexpr uint32_t kBands = (H - 16) / 16;
    registerBoth("bandRepeats/reference", [](const Image& f) {
        thread_local std::vector<uint8_t> vertical(size_t{W} * (H - 16)), horizontal(size_t{W - 16} * H);
        thread_local std::vector<int32_t> down(kBands), right(kBands);
        std::fill(down.begin(), down.end(), 0);
        std::fill(right.begin(), right.end(), 0);
        compareShifted(f, makeImage(W, H - 16, vertical.data()), 16 * W);
        compareShifted(f, makeImage(W - 16, H, horizontal.data()), 16);
        blockSums(makeImage(W, H - 16, vertical.data()), makeImage32(1, kBands, down.data()), W, 16);
        blockSums(makeImage(W - 16, H, horizontal.data()), makeImage32(1, kBands, right.data()), W - 16, 16);
        benchmark::DoNotOptimize(down.data());
    });
    registerVariants("bandRepeats", bandRepeatsVariants(), [](BandRepeatsKernel* fn, const Plane& p) {
        thread_local std::vector<int32_t> down(kBands), right(kBands);
        fn(p, kBands, down.data(), right.data());
        benchmark::DoNotOptimize(down.data());
    });
    return true;
}();

}  // namespace
