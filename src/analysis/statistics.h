// Statistics of one indicator over the frames where it has a value.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "indicators/registry.h"

struct FrameValue {
    int64_t frame;
    double value;
};

inline constexpr std::size_t kWorstFrames = 5;

struct Statistics {
    int64_t count = 0;
    // The rest is meaningful only when count > 0.
    double min = 0, max = 0, mean = 0;
    double stdev = 0;  // population: the frames of the run are all there is
    // Percentiles interpolate linearly between closest ranks: the value at rank
    // (count - 1) * p of the sorted values.
    double median = 0, p5 = 0, p95 = 0;
    // The most extreme values in the direction that is worse; ties keep frame order.
    std::vector<FrameValue> worst;
};

// `values` need not be in any order.
Statistics computeStatistics(std::span<const FrameValue> values, Worse worse);

// Names of the scalar statistics, as JSON keys and QC names.
inline constexpr std::string_view kStatisticNames[] = {"count", "min",    "max", "mean",
                                                       "stdev", "median", "p5",  "p95"};

// The named statistic; absent for an empty set (except the count) and for unknown names.
std::optional<double> statistic(const Statistics& s, std::string_view name);
