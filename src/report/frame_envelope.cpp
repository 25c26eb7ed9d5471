#include "report/frame_envelope.h"

#include <cmath>
#include <limits>

#include "indicators/registry.h"

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
constexpr auto kCount = static_cast<std::size_t>(kEnvelopeSeries);

// fmin and fmax skip NaN, which stands for no value.
double lower(double a, double b) { return std::fmin(a, b); }
double higher(double a, double b) { return std::fmax(a, b); }

}  // namespace

FrameEnvelope::FrameEnvelope(std::size_t maxBins) : maxBins_(maxBins < 2 ? 2 : maxBins) {
    low_.reserve(maxBins_ * kCount);
    high_.reserve(maxBins_ * kCount);
}

void FrameEnvelope::reset() {
    first_ = 0;
    frames_ = 0;
    width_ = 1;
    bins_ = 0;
    hasSignal_ = false;
    low_.clear();
    high_.clear();
}

void FrameEnvelope::add(int64_t frame, const Results& values) {
    if (frames_ == 0) first_ = frame;
    const auto offset = frame - first_;
    frames_ = offset + 1;
    auto bin = static_cast<std::size_t>(offset / width_);
    if (bin >= maxBins_) {
        halve();
        bin = static_cast<std::size_t>(offset / width_);
    }
    if (bin == bins_) {
        ++bins_;
        low_.resize(bins_ * kCount, kNone);
        high_.resize(bins_ * kCount, kNone);
    }
    const auto keep = [&](int series, double value) {
        const std::size_t at = bin * kCount + static_cast<std::size_t>(series);
        low_[at] = lower(low_[at], value);
        high_[at] = higher(high_[at], value);
    };
    for (int i = 0; i < kIndicatorCount; ++i)
        if (const auto value = meaningfulValue(values, i)) keep(i, *value);
    if (!values.signal) return;
    hasSignal_ = true;
    for (int s = 0; s < kSignalStatCount; ++s) {
        const double value = values.signal->values[static_cast<std::size_t>(s)];
        if (std::isfinite(value)) keep(signalSeries(static_cast<SignalStat>(s)), value);
    }
}

void FrameEnvelope::halve() {
    const std::size_t merged = (bins_ + 1) / 2;
    for (std::size_t b = 0; b < merged; ++b) {
        for (std::size_t i = 0; i < kCount; ++i) {
            const std::size_t a = 2 * b * kCount + i;
            const std::size_t next = a + kCount;
            const bool pair = 2 * b + 1 < bins_;
            low_[b * kCount + i] = pair ? lower(low_[a], low_[next]) : low_[a];
            high_[b * kCount + i] = pair ? higher(high_[a], high_[next]) : high_[a];
        }
    }
    bins_ = merged;
    low_.resize(bins_ * kCount);
    high_.resize(bins_ * kCount);
    width_ *= 2;
}

std::optional<double> FrameEnvelope::low(int series, std::size_t bin) const {
    const double v = low_[bin * kCount + static_cast<std::size_t>(series)];
    if (std::isnan(v)) return std::nullopt;
    return v;
}

std::optional<double> FrameEnvelope::high(int series, std::size_t bin) const {
    const double v = high_[bin * kCount + static_cast<std::size_t>(series)];
    if (std::isnan(v)) return std::nullopt;
    return v;
}
