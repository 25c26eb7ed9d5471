#include "analysis/statistics.h"

#include <algorithm>
#include <cmath>

namespace {

double percentile(const std::vector<double>& sorted, double p) {
    const double rank = static_cast<double>(sorted.size() - 1) * p;
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    const double fraction = rank - static_cast<double>(below);
    // Equal neighbours give that value exactly, also when they are huge.
    const double a = sorted[below], b = sorted[above];
    if (a == b) return a;
    // The weighted form cannot overflow where b - a would (huge values of both signs).
    return std::isfinite(b - a) ? a + fraction * (b - a) : (1 - fraction) * a + fraction * b;
}

}  // namespace

Statistics computeStatistics(std::span<const FrameValue> values, Worse worse) {
    Statistics s;
    s.count = static_cast<int64_t>(values.size());
    if (values.empty()) return s;

    std::vector<double> sorted;
    sorted.reserve(values.size());
    for (const FrameValue& v : values) sorted.push_back(v.value);
    std::sort(sorted.begin(), sorted.end());
    s.min = sorted.front();
    s.max = sorted.back();
    s.median = percentile(sorted, 0.5);
    s.p5 = percentile(sorted, 0.05);
    s.p95 = percentile(sorted, 0.95);

    // Values near the limits of double would overflow the sums: those are taken
    // on values scaled below 2 in magnitude by a power of two, which is exact.
    const double largest = std::max(std::fabs(s.min), std::fabs(s.max));
    const double scale = largest > 0x1p500 ? std::ldexp(1.0, std::ilogb(largest)) : 1.0;
    const auto n = static_cast<double>(sorted.size());
    // Two passes: the deviations do not cancel as a running sum of squares would.
    double sum = 0;
    for (double v : sorted) sum += v / scale;
    const double mean = sum / n;
    double squares = 0;
    for (double v : sorted) squares += (v / scale - mean) * (v / scale - mean);
    s.mean = std::clamp(mean * scale, s.min, s.max);
    s.stdev = std::sqrt(squares / n) * scale;

    std::vector<FrameValue> ranked(values.begin(), values.end());
    const auto worseFirst = [worse](const FrameValue& a, const FrameValue& b) {
        if (a.value != b.value) return worse == Worse::Higher ? a.value > b.value : a.value < b.value;
        return a.frame < b.frame;
    };
    const std::size_t keep = std::min(kWorstFrames, ranked.size());
    std::partial_sort(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(keep), ranked.end(), worseFirst);
    s.worst.assign(ranked.begin(), ranked.begin() + static_cast<std::ptrdiff_t>(keep));
    return s;
}

std::optional<double> statistic(const Statistics& s, std::string_view name) {
    if (name == "count") return static_cast<double>(s.count);
    if (s.count == 0) return std::nullopt;
    if (name == "min") return s.min;
    if (name == "max") return s.max;
    if (name == "mean") return s.mean;
    if (name == "stdev") return s.stdev;
    if (name == "median") return s.median;
    if (name == "p5") return s.p5;
    if (name == "p95") return s.p95;
    return std::nullopt;
}
