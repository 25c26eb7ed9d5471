#include "indicators/flickering.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "indicators/results.h"
#include <vector>

#include "indicators/flicker_blocks.h"
#include "kernels/kernels.h"
#include "tools/tally.h"

namespace {

// Mean absolute difference at which a static block turns changing.
constexpr double kThreshold = 0.0111;
// Calls per period; also turns switches into switches per frame.
constexpr int32_t framePeriod = kFlickeringPeriod;
// Share of the blocks whose counts are averaged.
constexpr double kTopFraction = 0.03;
constexpr double kNoValue = -1.0;

}  // namespace

int compareElements(const void* a, const void* b) {
    return static_cast<int>(*static_cast<const uint8_t*>(b)) - static_cast<int>(*static_cast<const uint8_t*>(a));
}

void blockMeanDifferences(const Image& current, const Image& previous, ImageDouble& meanDiff, int blockSize) {
    const uint32_t bw = static_cast<uint32_t>(meanDiff.w);
    const uint32_t bh = static_cast<uint32_t>(meanDiff.h);
    assert(blockSize > 0);
    const uint32_t s = static_cast<uint32_t>(blockSize);
    const uint32_t w = static_cast<uint32_t>(current.w);
    assert(uint64_t{bw} * s <= current.w && uint64_t{bh} * s <= current.h);
    assert(previous.w == current.w && previous.h == current.h);
    const double area = static_cast<double>(s * s);
    for (uint32_t r = 0; r < bh; ++r) {
        for (uint32_t col = 0; col < bw; ++col) {
            // The integer total is exact, and so is its conversion to double.
            int32_t sum = 0;
            for (uint32_t y = r * s; y < r * s + s; ++y) {
                const uint8_t* c = current.data + y * w;
                const uint8_t* p = previous.data + y * w;
                for (uint32_t x = col * s; x < col * s + s; ++x)
                    sum += std::abs(static_cast<int32_t>(c[x]) - static_cast<int32_t>(p[x]));
            }
            meanDiff.data[r * bw + col] = static_cast<double>(sum) / area;
        }
    }
}

void switchBlocks(const ImageDouble& meanDiff, Image& counts, Image& states, double threshold) {
    assert(states.w == counts.w && states.h == counts.h && meanDiff.w == counts.w && meanDiff.h == counts.h);
    const uint64_t n = counts.w * counts.h;
    for (uint64_t i = 0; i < n; ++i) {
        const double m = meanDiff.data[i];
        uint8_t& q = states.data[i];
        if (m >= threshold && q == 0) {
            q = 1;
            ++counts.data[i];
        } else if (m == 0.0 && q == 1) {
            q = 0;
            ++counts.data[i];
        }
    }
}

void calculateFlickering(const Image& current, const Image& previous, Image& counts, Image& states,
                         ImageDouble& meanDiff, int blockSize, double threshold) {
    if (counts.h == 0) return;
    blockMeanDifferences(current, previous, meanDiff, blockSize);
    switchBlocks(meanDiff, counts, states, threshold);
}

// The total of the k largest of n counts. Equal counts cannot be told apart, so
// how many blocks hold each count gives the total without sorting them.
static uint64_t largestTotal(const uint8_t* counts, uint32_t n, uint32_t k) {
    uint64_t holding[256];
    tallyBytes(counts, n, holding);
    uint64_t total = 0;
    uint64_t left = k;
    for (uint32_t value = 255; value > 0 && left > 0; --value) {
        const uint64_t taken = std::min(left, holding[value]);
        total += uint64_t{taken} * value;
        left -= taken;
    }
    return total;
}

// Counts one call of the period; on the last, returns the value and starts anew.
static double closeCall(FlickeringState& state) {
    if (++state.frameCount != framePeriod) return kNoValue;

    uint8_t* counts = state.counts.data;
    const uint32_t n = static_cast<uint32_t>(state.counts.w) * static_cast<uint32_t>(state.counts.h);
    const uint32_t k = static_cast<uint32_t>(n * kTopFraction);
    const uint64_t total = largestTotal(counts, n, k);
    // With no block in the top share this is 0 / 0: not-a-number.
    const double value = static_cast<double>(total) / static_cast<double>(uint64_t{k} * framePeriod);

    state.frameCount = 0;
    if (n > 0) {
        std::memset(counts, 0, n);
        std::memset(state.states.data, 0, n);
    }
    return value;
}

double flickering(const Image& current, const Image& previous, FlickeringState& state) {
    std::vector<double> meanDiff(state.counts.w * state.counts.h);
    ImageDouble view = makeImageDouble(state.counts.w, state.counts.h, meanDiff.data());
    calculateFlickering(current, previous, state.counts, state.states, view, kBlockSize, kThreshold);
    return closeCall(state);
}

namespace {

// Frames in the window of the evidence: 1.25 s of steps between frames and one frame more,
// so that a window always holds the 5 flips of a 2 Hz flicker, the first setting the
// direction and the others turning it 4 times; no less than a period.
std::size_t evidenceWindow(double fps) {
    const double frames = std::isfinite(fps) && fps > 0 ? std::round(1.25 * fps) + 2 : 0.0;
    return static_cast<std::size_t>(std::clamp(frames, double{kFlickeringPeriod}, 1000.0));
}

// Owns the block images for the run, one grid of block differences and of block sums per
// slot, and the block sums of the evidence's window.
class FlickeringIndicator final : public TemporalIndicator {
public:
    explicit FlickeringIndicator(const TemporalGeometry& g)
        : blocksW_(g.width / kBlockSize),
          blocksH_(g.height / kBlockSize),
          counts_(std::size_t{blocksW_} * blocksH_, 0),
          states_(counts_.size(), 0),
          sums_(g.slots, std::vector<int32_t>(counts_.size())),
          blockSums_(g.slots, std::vector<int32_t>(counts_.size())),
          pairs_(g.slots),
          blocks_(blocksW_, blocksH_, evidenceWindow(g.fps)),
          flickers_(counts_.size()),
          // A run that starts inside a period of its whole run waits for the next one.
          firstPeriodStart_(g.origin + 1 +
                            (g.first - g.origin + kFlickeringPeriod - 1) / kFlickeringPeriod * kFlickeringPeriod) {
        state_.counts = makeImage(blocksW_, blocksH_, counts_.data());
        state_.states = makeImage(blocksW_, blocksH_, states_.data());
    }
    void pair(unsigned slot, const Image& current, const Image& previous) override {
        static_assert(kBlockSize == 8);
        if (!sums_[slot].empty())
            activeKernels().blockSumsAndDiffs8(planeOf(current), planeOf(previous), blockSums_[slot].data(),
                                               sums_[slot].data());
        pairs_[slot] = {blockSums_[slot].data(), sums_[slot].data()};
    }
    // The same sums the flicker detector reads, made once for both.
    void pairShared(unsigned slot, const Image& current, const Image& previous, SharedPasses& shared) override {
        const SharedPasses::PairSums8 pair = shared.pairSums8();
        if (pair.sums == nullptr || counts_.empty()) {
            this->pair(slot, current, previous);
            return;
        }
        pairs_[slot] = pair;
    }
    std::optional<double> evidence() const override { return evidence_; }
    std::optional<double> ordered(unsigned slot, int64_t frameIndex, const Results&) override {
        // Blocks are followed from the first frame on; evidence goes with each value.
        blocks_.add(pairs_[slot].sums, pairs_[slot].absDiffSums);
        evidence_.reset();
        if (frameIndex < firstPeriodStart_) return std::nullopt;
        switchBlocksOfSums(pairs_[slot].absDiffSums);
        // The period's switch counts, before closeCall clears them for the next period.
        if (state_.frameCount == framePeriod - 1) evidence_ = switchesOfFlickerBlocks();
        return closeCall(state_);
    }

private:
    // switchBlocks on the blocks' sums of absolute differences: a mean difference (the sum
    // over 64, exact) reaches the threshold exactly when the sum is at least 1, and is zero
    // exactly when the sum is.
    static_assert(kThreshold > 0.0 && kThreshold <= 1.0 / (kBlockSize * kBlockSize));
    void switchBlocksOfSums(const int32_t* sums) {
        // Bytes may alias anything; the grids and the size held apart let the loop run on vectors.
        uint8_t* __restrict counts = counts_.data();
        uint8_t* __restrict states = states_.data();
        const int32_t* __restrict s = sums;
        const std::size_t n = counts_.size();
        for (std::size_t i = 0; i < n; ++i) {
            const uint8_t changing = s[i] > 0;
            counts[i] = static_cast<uint8_t>(counts[i] + (changing != states[i]));
            states[i] = changing;
        }
    }

    double switchesOfFlickerBlocks() {
        uint64_t switches = 0;
        uint64_t flickering = 0;
        blocks_.mark(flickers_.data());
        for (std::size_t i = 0; i < flickers_.size(); ++i) {
            if (!flickers_[i]) continue;
            // At least one: a slow flicker at a high frame rate may leave a block that
            // flickers still through a whole period.
            switches += std::max<uint8_t>(counts_[i], 1);
            ++flickering;
        }
        return flickering == 0 ? 0.0 : static_cast<double>(switches) / static_cast<double>(flickering * framePeriod);
    }

    uint32_t blocksW_;
    uint32_t blocksH_;
    std::vector<uint8_t> counts_;
    std::vector<uint8_t> states_;
    std::vector<std::vector<int32_t>> sums_;       // per slot, from the pair part
    std::vector<std::vector<int32_t>> blockSums_;  // per slot: the current frame's block sums
    std::vector<SharedPasses::PairSums8> pairs_;    // per slot: the sums ordered() reads, these or shared ones
    FlickerBlocks blocks_;
    std::vector<uint8_t> flickers_;  // which blocks flicker, at a period's end
    std::optional<double> evidence_;
    int64_t firstPeriodStart_;
    FlickeringState state_;
};

}  // namespace

std::unique_ptr<TemporalIndicator> makeFlickering(const TemporalGeometry& geometry) {
    return std::make_unique<FlickeringIndicator>(geometry);
}

int64_t flickeringFramesBefore(double fps, int64_t start, int64_t origin) {
    // From the frame before the start of the period that holds `start`, and a window
    // of levels before that for the evidence of its end.
    return (start - origin - 1) % kFlickeringPeriod + 1 + static_cast<int64_t>(evidenceWindow(fps));
}
