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

constexpr uint32_t MIN_SIZE = 256;
constexpr uint32_t GRID = 16;
constexpr uint32_t REGION = 256;
constexpr int32_t MIN_RUN = 12;
constexpr double THRESHOLD_FACTOR = 6.0;

constexpr uint32_t LINES_PER_REGION = REGION / GRID;
constexpr uint32_t WORDS_PER_REGION = REGION / 64;
constexpr uint32_t REGIONS_PER_WORD = 64 / LINES_PER_REGION;
// Rows of strong bits a vertical run looks back over, rounded up to a power of two.
constexpr uint32_t HISTORY = 16;
static_assert(MIN_RUN < 64 && MIN_RUN + 1 <= static_cast<int32_t>(HISTORY));

struct BlockLossWorkspace {
    Reusable<int32_t> horizontal, vertical, products;
    Reusable<uint64_t> rowBits, gridBits;
};

constexpr int32_t MAX_ENERGY = 2 * 255 * 255;

// The largest limit L with (e > threshold) == (e > L) for every energy e, so that
// the hot loops compare integers.
int32_t strongLimit(double threshold) {
    if (threshold < 0.0) return -1;
    if (!(threshold < MAX_ENERGY)) return MAX_ENERGY;
    return static_cast<int32_t>(threshold);  // truncation is the floor here
}

// `bits` shifted up by `s` (0 < s < 64), the top of the word before filling in.
inline uint64_t shiftedIn(uint64_t bits, uint64_t before, uint32_t s) { return (bits << s) | (before >> (64 - s)); }

// Runs of at least MIN_RUN strong samples within the REGION bits from `bits`,
// each counted once: where a sample ends MIN_RUN strong ones and the one before
// them is not strong (or lies before the region).
inline int32_t runsIn(const uint64_t* bits) {
    int32_t runs = 0;
    uint64_t before = 0;
    for (uint32_t j = 0; j < WORDS_PER_REGION; ++j) {
        const uint64_t strong = bits[j];
        uint64_t ends = strong & ~shiftedIn(strong, before, MIN_RUN);
        for (uint32_t s = 1; s < MIN_RUN; ++s) ends &= shiftedIn(strong, before, s);
        // Few bits are set: counting them one by one beats a bit count without its instruction.
        for (; ends; ends &= ends - 1) ++runs;
        before = strong;
    }
    return runs;
}

// Runs along the horizontal grid lines (frame rows 16k, k >= 1), per region.
void horizontalRuns(const Image& frame, Image32 counts, int32_t limit, uint64_t* bits) {
    const std::size_t w = frame.w;
    const uint32_t span = static_cast<uint32_t>(counts.w * REGION);
    StrongBitsKernel* const strongBits = activeKernels().strongBits;
    for (std::size_t r = 0; r < counts.h; ++r) {
        for (uint32_t line = 0; line < LINES_PER_REGION; ++line) {
            const std::size_t y = r * REGION + line * GRID;
            if (y == 0) continue;
            const uint8_t* row = frame.data + y * w;
            strongBits(row - w, row, span, limit, bits);
            for (std::size_t c = 0; c < counts.w; ++c) {
                const uint64_t* region = bits + c * WORDS_PER_REGION;
                uint64_t any = 0;
                for (uint32_t j = 0; j < WORDS_PER_REGION; ++j) any |= region[j];
                if (any) counts.data[r * counts.w + c] += runsIn(region);
            }
        }
    }
}

// Runs down the vertical grid lines (frame columns 16k, k >= 1), per region.
// `history` holds the grid lines' strong bits of the last HISTORY rows, `words`
// words a row: a run ends MIN_RUN strong rows where the row before them is not
// strong, or lies before the region row.
void verticalRuns(const Image& frame, Image32 counts, int32_t limit, uint64_t* history) {
    const std::size_t w = frame.w;
    const uint32_t lines = static_cast<uint32_t>(counts.w * LINES_PER_REGION);
    const uint32_t words = (lines + 63) / 64;
    GridStrongBitsKernel* const gridStrongBits = activeKernels().gridStrongBits;
    auto bitsOf = [&](std::size_t i) { return history + (i % HISTORY) * words; };
    for (std::size_t r = 0; r < counts.h; ++r) {
        int32_t* regionCounts = counts.data + r * counts.w;
        // No run continues into the next region row.
        std::fill(history, history + HISTORY * words, 0);
        for (std::size_t i = 0; i < REGION; ++i) {
            const std::size_t y = r * REGION + i;
            // Row 0 has no energy: its bits stay 0.
            if (y == 0) continue;
            const uint8_t* row = frame.data + y * w;
            gridStrongBits(row - w, row, lines, limit, bitsOf(i));
            for (uint32_t j = 0; j < words; ++j) {
                // Rows before the region row are the cleared ones past i.
                uint64_t ends = bitsOf(i)[j] & ~bitsOf(i + HISTORY - MIN_RUN)[j];
                for (uint32_t back = 1; back < MIN_RUN && ends; ++back) ends &= bitsOf(i + HISTORY - back)[j];
                for (; ends; ends &= ends - 1)
                    ++regionCounts[j * REGIONS_PER_WORD + std::countr_zero(ends) / LINES_PER_REGION];
            }
        }
    }
}

}  // namespace

double blockLoss(const Image& frame) {
    const uint32_t w = static_cast<uint32_t>(frame.w);
    const uint32_t h = static_cast<uint32_t>(frame.h);
    if (w < MIN_SIZE || h < MIN_SIZE) return -1.0;

    const double energy = static_cast<double>(activeKernels().robertsEnergy(planeOf(frame)));
    const double threshold = THRESHOLD_FACTOR * (energy / static_cast<double>(w * h));

    const uint32_t regionsW = w / REGION;
    const uint32_t regionsH = h / REGION;
    const Image view = makeImage(w, h, frame.data);
    thread_local BlockLossWorkspace ws;
    Image32 horizontal = clearedPlaneIn(ws.horizontal, regionsW, regionsH);
    Image32 vertical = clearedPlaneIn(ws.vertical, regionsW, regionsH);
    Image32 products = planeIn(ws.products, regionsW, regionsH);
    uint64_t* rowBits = ws.rowBits.take(std::size_t{regionsW} * WORDS_PER_REGION);
    uint64_t* gridBits = ws.gridBits.take(std::size_t{HISTORY} * ((regionsW * LINES_PER_REGION + 63) / 64));

    const int32_t limit = strongLimit(threshold);
    horizontalRuns(view, horizontal, limit, rowBits);
    verticalRuns(view, vertical, limit, gridBits);
    multiply(horizontal, vertical, products);
    return static_cast<double>(sumPixels32(products)) / static_cast<double>(regionsW * regionsH);
}
