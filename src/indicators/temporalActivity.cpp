#include "indicators/temporalActivity.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "kernels/kernels.h"

double temporalAct(const Image& current, const Image& previous) {
    const uint64_t total = activeKernels().squaredDifferenceSum(current.data, previous.data, current.w * current.h);
    return std::sqrt(static_cast<double>(total));
}

double temporalActivity(const Image& current, const Image& previous) {
    return temporalAct(current, previous) / std::sqrt(static_cast<double>(current.w * current.h));
}

namespace {

class TemporalActivityIndicator final : public TemporalIndicator {
public:
    explicit TemporalActivityIndicator(unsigned slots) : values_(slots) {}
    void pair(unsigned slot, const Image& current, const Image& previous) override {
        values_[slot] = temporalActivity(current, previous);
    }
    std::optional<double> ordered(unsigned slot, int64_t, const Results&) override { return values_[slot]; }

private:
    std::vector<double> values_;
};

}  // namespace

std::unique_ptr<TemporalIndicator> makeTemporalActivity(const TemporalGeometry& geometry) {
    return std::make_unique<TemporalActivityIndicator>(geometry.slots);
}
