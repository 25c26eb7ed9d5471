// Per-frame values of a run of any length in bounded memory: consecutive frames
// are gathered into bins of a power-of-two width holding the smallest and
// largest value, and the bins are merged pairwise whenever they would exceed
// their number. Short runs keep one bin per frame, that is every value. The
// default number serves a plot of about a thousand pixel columns with two or
// more bins per column, in a few hundred kilobytes of page.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "indicators/registry.h"

// A series the envelope follows: an indicator's values by its registry index, and after
// them the picture's signalstats statistics (signalSeries(YMIN), ...).
inline constexpr int kEnvelopeSeries = kIndicatorCount + kSignalStatCount;
constexpr int signalSeries(SignalStat stat) { return kIndicatorCount + stat; }

class FrameEnvelope {
public:
    explicit FrameEnvelope(std::size_t maxBins = 2048);
    void reset();
    // Frames come in order, one after the other.
    void add(int64_t frame, const Results& values);

    int64_t first() const { return first_; }
    int64_t frames() const { return frames_; }
    int64_t binWidth() const { return width_; }
    std::size_t bins() const { return bins_; }
    // Absent for a bin where the series has no value on any frame.
    std::optional<double> low(int series, std::size_t bin) const;
    std::optional<double> high(int series, std::size_t bin) const;
    // Whether any frame carried the picture's signalstats statistics.
    bool hasSignal() const { return hasSignal_; }

private:
    void halve();
    std::size_t maxBins_;
    int64_t first_ = 0, frames_ = 0, width_ = 1;
    std::size_t bins_ = 0;
    bool hasSignal_ = false;
    // kEnvelopeSeries entries per bin; NaN where there is no value.
    std::vector<double> low_, high_;
};
