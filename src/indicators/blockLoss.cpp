#include "indicators/blockLoss.h"

#include <algorithm>
#include <bit>
#include <cstddef>

#include "kernels/kernels.h"
#include "tools/roberts.h"
#include "tools/workspace.h"
#include "tools/sums.h"

// The measure counts, in every 256x256 region, the runs of strong Roberts energy
// along the horizontal and along the vertical lines of the 16-sample grid, and
// averages the product of the two counts over the regions. It is the value of
// the straightforward pipeline
//   robertsSkip (both grids), roberts (frame), addSquares32 (each pair),
//   threshold = 6 * mean frame energy,
//   countSeqsH / countSeqsV over the grid energies, multiply, sumPixels32,
// computed without its full-frame working planes: the frame energy is summed on
// the fly, and the grid energies of a row are compared with the threshold in
// integers, only where a region can count them, into bit masks whose runs word
// operations count. Energies that are never computed (row 0, column 0, outside
// every whole region) are 0 or take no part, and 0 never exceeds the threshold,
// which is at least 0.

namespace {

constexpr uint32_t kMinSize = 256;
constexpr uint32_t kGrid = 16;
constexpr uint32_t kRegion = 256;
constexpr int32_t kMinRun = 12;
constexpr double kThresholdFactor = 6.0;

constexpr uint32_t kLinesPerRegion = kRegion / kGrid;
constexpr uint32_t kWordsPerRegion = kRegion / 64;
constexpr uint32_t kRegionsPerWord = 64 / kLinesPerRegion;
// Rows of strong bits a vertical run looks back over, rounded up to a power of two.
constexpr uint32_t kHistory = 16;
static_assert(kMinRun < 64 && kMinRun + 1 <= static_cast<int32_t>(kHistory));

struct BlockLossWorkspace {
    Reusable<int32_t> horizontal, vertical, products;
    Reusable<uint64_t> rowBits, gridBits;
};

constexpr int32_t kMaxEnergy = 2 * 255 * 255;

// The largest limit L with (e > threshold) == (e > L) for every energy e, so that
// the hot loops compare integers.
int32_t strongLimit(double threshold) {
    if (threshold < 0.0) return -1;
    if (!(threshold < kMaxEnergy)) return kMaxEnergy;
    return static_cast<int32_t>(threshold);  // truncation is the floor here
}

// `bits` shifted up by `s` (0 < s < 64), the top of the word before filling in.
inline uint64_t shiftedIn(uint64_t bits, uint64_t before, uint32_t s) { return (bits << s) | (before >> (64 - s)); }

// Runs of at least kMinRun strong samples within the kRegion bits from `bits`,
// each counted once: where a sample ends kMinRun strong ones and the one before
// them is not strong (or lies before the region).
inline int32_t runsIn(const uint64_t* bits) {
    int32_t runs = 0;
    uint64_t before = 0;
    for (uint32_t j = 0; j < kWordsPerRegion; ++j) {
        const uint64_t strong = bits[j];
        uint64_t ends = strong & ~shiftedIn(strong, before, kMinRun);
        for (uint32_t s = 1; s < kMinRun; ++s) ends &= shiftedIn(strong, before, s);
        // Few bits are set: counting them one by one beats a bit count without its instruction.
        for (; ends; ends &= ends - 1) ++runs;
        before = strong;
    }
    return runs;
}

// Runs along the horizontal grid lines (frame rows 16k, k >= 1), per region.
void horizontalRuns(const Image& frame, Image32 counts, int32_t limit, uint64_t* bits) {
    const std::size_t w = frame.w;
    const uint32_t span = static_cast<uint32_t>(counts.w * kRegion);
    StrongBitsKernel* const strongBits = activeKernels().strongBits;
    for (std::size_t r = 0; r < counts.h; ++r) {
        for (uint32_t line = 0; line < kLinesPerRegion; ++line) {
            const std::size_t y = r * kRegion + line * kGrid;
            if (y == 0) continue;
            const uint8_t* row = frame.data + y * w;
            strongBits(row - w, row, span, limit, bits);
            for (std::size_t c = 0; c < counts.w; ++c) {
                const uint64_t* region = bits + c * kWordsPerRegion;
                uint64_t any = 0;
                for (uint32_t j = 0; j < kWordsPerRegion; ++j) any |= region[j];
                if (any) counts.data[r * counts.w + c] += runsIn(region);
            }
        }
    }
}

// Runs down the vertical grid lines (frame columns 16k, k >= 1), per region.
// `history` holds the grid lines' strong bits of the last kHistory rows, `words`
// words a row: a run ends kMinRun strong rows where the row before them is not
// strong, or lies before the region row.
void verticalRuns(const Image& frame, Image32 counts, int32_t limit, uint64_t* history) {
    const std::size_t w = frame.w;
    const uint32_t lines = static_cast<uint32_t>(counts.w * kLinesPerRegion);
    const uint32_t words = (lines + 63) / 64;
    GridStrongBitsKernel* const gridStrongBits = activeKernels().gridStrongBits;
    auto bitsOf = [&](std::size_t i) { return history + (i % kHistory) * words; };
    for (std::size_t r = 0; r < counts.h; ++r) {
        int32_t* regionCounts = counts.data + r * counts.w;
        // No run continues into the next region row.
        std::fill(history, history + kHistory * words, 0);
        for (std::size_t i = 0; i < kRegion; ++i) {
            const std::size_t y = r * kRegion + i;
            // Row 0 has no energy: its bits stay 0.
            if (y == 0) continue;
            const uint8_t* row = frame.data + y * w;
            gridStrongBits(row - w, row, lines, limit, bitsOf(i));
            for (uint32_t j = 0; j < words; ++j) {
                // Rows before the region row are the cleared ones past i.
                uint64_t ends = bitsOf(i)[j] & ~bitsOf(i + kHistory - kMinRun)[j];
                for (uint32_t back = 1; back < kMinRun && ends; ++back) ends &= bitsOf(i + kHistory - back)[j];
                for (; ends; ends &= ends - 1)
                    ++regionCounts[j * kRegionsPerWord + std::countr_zero(ends) / kLinesPerRegion];
            }
        }
    }
}

}  // namespace

double blockLoss(const Image& frame) {
    const uint32_t w = static_cast<uint32_t>(frame.w);
    const uint32_t h = static_cast<uint32_t>(frame.h);
    if (w < kMinSize || h < kMinSize) return -1.0;

    const double energy = static_cast<double>(activeKernels().robertsEnergy(planeOf(frame)));
    const double threshold = kThresholdFactor * (energy / static_cast<double>(w * h));

    const uint32_t regionsW = w / kRegion;
    const uint32_t regionsH = h / kRegion;
    const Image view = makeImage(w, h, frame.data);
    thread_local BlockLossWorkspace ws;
    Image32 horizontal = clearedPlaneIn(ws.horizontal, regionsW, regionsH);
    Image32 vertical = clearedPlaneIn(ws.vertical, regionsW, regionsH);
    Image32 products = planeIn(ws.products, regionsW, regionsH);
    uint64_t* rowBits = ws.rowBits.take(std::size_t{regionsW} * kWordsPerRegion);
    uint64_t* gridBits = ws.gridBits.take(std::size_t{kHistory} * ((regionsW * kLinesPerRegion + 63) / 64));

    const int32_t limit = strongLimit(threshold);
    horizontalRuns(view, horizontal, limit, rowBits);
    verticalRuns(view, vertical, limit, gridBits);
    multiply(horizontal, vertical, products);
    return static_cast<double>(sumPixels32(products)) / static_cast<double>(regionsW * regionsH);
}
