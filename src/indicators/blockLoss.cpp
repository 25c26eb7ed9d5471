#include "indicators/blockLoss.h"

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
// the fly, and the grid energies are made a region segment (or a row of grid
// lines) at a time, only where a region can count them, and compared with the
// threshold in integers. Energies that are never computed (row 0, column 0,
// outside every whole region) are 0 or take no part, and 0 never exceeds the
// threshold, which is at least 0.

namespace {

constexpr uint32_t MIN_SIZE = 256;
constexpr uint32_t GRID = 16;
constexpr uint32_t REGION = 256;
constexpr int32_t MIN_RUN = 12;
constexpr double THRESHOLD_FACTOR = 6.0;

constexpr uint32_t LINES_PER_REGION = REGION / GRID;

struct BlockLossWorkspace {
    Reusable<int32_t> horizontal, vertical, products, counters, lineEnergy;
};

// Roberts energy at column x of `row`, `up` being the row above; x >= 1.
inline int32_t energyAt(const uint8_t* up, const uint8_t* row, std::size_t x) {
    const int32_t dx = int32_t{up[x - 1]} - int32_t{row[x]};
    const int32_t dy = int32_t{up[x]} - int32_t{row[x - 1]};
    return dx * dx + dy * dy;
}

constexpr int32_t MAX_ENERGY = 2 * 255 * 255;

// The largest limit L with (e > threshold) == (e > L) for every energy e, so that
// the hot loops compare integers.
int32_t strongLimit(double threshold) {
    if (threshold < 0.0) return -1;
    if (!(threshold < MAX_ENERGY)) return MAX_ENERGY;
    return static_cast<int32_t>(threshold);  // truncation is the floor here
}

// Runs of at least MIN_RUN strong samples, each counted once.
inline int32_t countRuns(const uint8_t* strong, std::size_t n) {
    int32_t runs = 0;
    int32_t length = 0;
    for (std::size_t i = 0; i < n; ++i) {
        length = strong[i] ? length + 1 : 0;
        runs += length == MIN_RUN;
    }
    return runs;
}

// Runs along the horizontal grid lines (frame rows 16k, k >= 1), per region.
void horizontalRuns(const Image& frame, Image32 counts, int32_t limit) {
    const std::size_t w = frame.w;
    for (std::size_t r = 0; r < counts.h; ++r) {
        for (uint32_t line = 0; line < LINES_PER_REGION; ++line) {
            const std::size_t y = r * REGION + line * GRID;
            if (y == 0) continue;
            const uint8_t* row = frame.data + y * w;
            const uint8_t* up = row - w;
            for (std::size_t c = 0; c < counts.w; ++c) {
                const std::size_t x0 = c * REGION;
                uint8_t strong[REGION];
                strong[0] = x0 != 0 && energyAt(up, row, x0) > limit;
                for (std::size_t i = 1; i < REGION; ++i) strong[i] = energyAt(up, row, x0 + i) > limit;
                uint8_t any = 0;
                for (std::size_t i = 0; i < REGION; ++i) any |= strong[i];
                if (any) counts.data[r * counts.w + c] += countRuns(strong, REGION);
            }
        }
    }
}

// Runs down the vertical grid lines (frame columns 16k, k >= 1), per region.
// `counters` holds one run length per grid line, zero on entry and on return;
// `energy` has room for one energy per grid line.
void verticalRuns(const Image& frame, Image32 counts, int32_t* counters, int32_t* energy, int32_t limit) {
    const std::size_t w = frame.w;
    for (std::size_t r = 0; r < counts.h; ++r) {
        int32_t* regionCounts = counts.data + r * counts.w;
        for (std::size_t y = r * REGION; y < (r + 1) * REGION; ++y) {
            if (y == 0) continue;
            const uint8_t* row = frame.data + y * w;
            const uint8_t* up = row - w;
            for (std::size_t c = 0; c < counts.w; ++c) {
                const std::size_t first = c * LINES_PER_REGION;
                // Grid line 0 (frame column 0) has no energy and never counts.
                energy[first] = 0;
                for (std::size_t k = first == 0 ? 1 : first; k < first + LINES_PER_REGION; ++k)
                    energy[k] = energyAt(up, row, k * GRID);
                int32_t hits = 0;
                for (std::size_t k = first; k < first + LINES_PER_REGION; ++k) {
                    counters[k] = energy[k] > limit ? counters[k] + 1 : 0;
                    hits += counters[k] == MIN_RUN;
                }
                regionCounts[c] += hits;
            }
        }
        // No run continues into the next region row.
        for (std::size_t k = 0; k < counts.w * LINES_PER_REGION; ++k) counters[k] = 0;
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
    // Run lengths start and end at zero, so they need clearing only when created.
    Image32 counters = planeIn(ws.counters, regionsW * LINES_PER_REGION, 1);
    Image32 lineEnergy = planeIn(ws.lineEnergy, regionsW * LINES_PER_REGION, 1);

    const int32_t limit = strongLimit(threshold);
    horizontalRuns(view, horizontal, limit);
    verticalRuns(view, vertical, counters.data, lineEnergy.data, limit);
    multiply(horizontal, vertical, products);
    return static_cast<double>(sumPixels32(products)) / static_cast<double>(regionsW * regionsH);
}
