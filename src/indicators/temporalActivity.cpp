#include "indicators/temporalActivity.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// 65536 squares of at most 65025 each still fit in 32 bits.
constexpr uint64_t kChunk = 65536;

}  // namespace

double temporalAct(const Image& current, const Image& previous) {
    const uint64_t n = current.w * current.h;
    if (n == 0) return 0.0;
    const uint8_t* c = current.data;
    const uint8_t* p = previous.data;
    uint64_t total = 0;
    for (uint64_t start = 0; start < n; start += kChunk) {
        const uint64_t end = std::min(n, start + kChunk);
        uint32_t partial = 0;
        for (uint64_t i = start; i < end; ++i) {
            const int32_t d = static_cast<int32_t>(c[i]) - static_cast<int32_t>(p[i]);
            partial += static_cast<uint32_t>(d * d);
        }
        total += partial;
    }
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
    std::optional<double> ordered(unsigned slot, const Results&) override { return values_[slot]; }

private:
    std::vector<double> values_;
};

}  // namespace

std::unique_ptr<TemporalIndicator> makeTemporalActivity(const TemporalGeometry& geometry) {
    return std::make_unique<TemporalActivityIndicator>(geometry.slots);
}
