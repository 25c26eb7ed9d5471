#include "indicators/flash_area.h"

#include <cmath>
#include <optional>
#include <vector>

#include "indicators/flash_cells.h"
#include "indicators/flash_luminance_change.h"
#include "indicators/flashes_per_second.h"
#include "indicators/red_flash_area.h"
#include "indicators/registry.h"
#include "tools/frame_rate.h"

namespace {

class FlashAreaIndicator final : public TemporalIndicator {
public:
    explicit FlashAreaIndicator(const TemporalGeometry& g)
        : cells_(g.width, g.height, g.colour, g.flash.display),
          rule_(cells_.pixels(), g.flash),
          fps_(g.fps > 0 ? g.fps : kDefaultFps),
          slots_(g.slots),
          sums_(g.slots),
          red_(requested(g.mask, "red_flash_area")),
          change_(requested(g.mask, "flash_luminance_change")),
          perSecond_(requested(g.mask, "flashes_per_second")) {}

    void pair(unsigned, const Image&, const Image&) override {}
    void pairPictures(unsigned slot, const Picture& current, const Picture& previous, bool firstPair) override {
        cells_.measure(current, slots_[slot], sums_[slot]);
        if (firstPair) cells_.measure(previous, seed_, seedSums_);
    }
    std::optional<double> ordered(unsigned slot, int64_t frameIndex, const Results& frame) override {
        if (!seeded_) {
            rule_.feed(frameIndex - 1, 0, seed_);
            seeded_ = true;
        }
        const double time = frame.time.value_or(static_cast<double>(frameIndex) / fps_);
        step_ = rule_.feed(frameIndex, time, slots_[slot]);
        return step_.area;
    }
    void alsoGives(Results& frame) const override {
        if (red_) frame.set(*red_, redFlashArea(step_));
        if (change_) frame.set(*change_, flashLuminanceChange(step_));
        if (perSecond_) {
            frame.set(*perSecond_, flashesPerSecond(step_));
            if (step_.windowStart >= 0) frame.setEvidence(*perSecond_, flashSequenceStart(step_));
        }
    }

private:
    static std::optional<int> requested(uint32_t mask, const char* key) {
        const std::optional<int> index = findIndicator(key);
        if (!index || !isRequested(indicatorRegistry()[static_cast<std::size_t>(*index)], mask)) return std::nullopt;
        return index;
    }

    FlashCells cells_;
    FlashRule rule_;
    double fps_;
    std::vector<std::vector<CellState>> slots_;
    std::vector<std::vector<uint32_t>> sums_;
    std::vector<CellState> seed_;
    std::vector<uint32_t> seedSums_;
    bool seeded_ = false;
    FlashStep step_;
    std::optional<int> red_, change_, perSecond_;
};

class GivenElsewhere final : public TemporalIndicator {
public:
    void pair(unsigned, const Image&, const Image&) override {}
    std::optional<double> ordered(unsigned, int64_t, const Results&) override { return std::nullopt; }
};

}  // namespace

std::unique_ptr<TemporalIndicator> makeFlashArea(const TemporalGeometry& geometry) {
    return std::make_unique<FlashAreaIndicator>(geometry);
}

std::unique_ptr<TemporalIndicator> makeGivenByFlashArea(const TemporalGeometry&) {
    return std::make_unique<GivenElsewhere>();
}

int64_t flashFramesBefore(double fps, int64_t, int64_t) {
    const double frames = std::ceil(2 * fps);
    if (!(frames > 1)) return 1;
    return frames > 1e9 ? int64_t{1000000000} : static_cast<int64_t>(frames);
}
