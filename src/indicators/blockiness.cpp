#include "indicators/blockiness.h"

#include <cmath>
#include <cstdint>

#include "indicators/results.h"

namespace {

constexpr uint32_t B = kBlockSize;

inline uint64_t step(uint8_t a, uint8_t b) { return a > b ? a - b : b - a; }

// Grid lines at B, 2B, ... up to and including size - B; none on the frame edges.
inline uint32_t gridLines(uint32_t size) { return size / B > 0 ? size / B - 1 : 0; }

}  // namespace

// Each grid line adds its steps to a running sum, and the running sum is added to
// the total after every line without being reset, so with n lines in a direction
// the steps of line k count n - k + 1 times. Everything is held in 64 bits, so no
// frame size can overflow the sums.
double blockiness(const Image& frame) {
    const auto W = static_cast<uint32_t>(frame.w);
    const auto H = static_cast<uint32_t>(frame.h);
    const uint8_t* p = frame.data;
    uint64_t innerTotal = 0;
    uint64_t crossTotal = 0;

    // Horizontal lines, between rows y - 1 and y.
    const uint32_t rowLines = gridLines(H);
    uint64_t innerRun = 0;
    uint64_t crossRun = 0;
    for (uint32_t k = 1; k <= rowLines; ++k) {
        const uint64_t y = uint64_t{k} * B;
        const uint8_t* before = p + (y - 2) * W;
        const uint8_t* last = p + (y - 1) * W;
        const uint8_t* first = p + y * W;
        uint64_t inner = 0;
        uint64_t cross = 0;
        for (uint32_t x = 0; x < W; ++x) {
            inner += step(last[x], before[x]);
            cross += step(last[x], first[x]);
        }
        innerRun += inner;
        crossRun += cross;
        innerTotal += innerRun;
        crossTotal += crossRun;
    }

    // Vertical lines, between columns x - 1 and x. Walked row by row rather than
    // down the columns; line k carries its cumulative weight n - k + 1 directly,
    // which gives the same integer totals as the running sums.
    const uint32_t columnLines = gridLines(W);
    for (uint32_t y = 0; y < H && columnLines > 0; ++y) {
        const uint8_t* row = p + uint64_t{y} * W;
        uint64_t inner = 0;
        uint64_t cross = 0;
        for (uint32_t k = 1; k <= columnLines; ++k) {
            const uint32_t x = k * B;
            const uint64_t weight = columnLines - k + 1;
            inner += weight * step(row[x - 1], row[x - 2]);
            cross += weight * step(row[x - 1], row[x]);
        }
        innerTotal += inner;
        crossTotal += cross;
    }

    const double ratio = static_cast<double>(innerTotal) / static_cast<double>(crossTotal);
    return std::isnan(ratio) ? 1.0 : ratio;
}

double blockToMOS(double value) {
    const double mos = (value * 17.86 - 10.38) * 0.5;
    return mos > 0.0 ? mos : 0.0;
}
