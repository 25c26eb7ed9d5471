#include "indicators/exposure.h"

#include <algorithm>
#include <cstdint>

#include "indicators/results.h"
#include "indicators/shared_passes.h"

namespace {

constexpr int nBlSum = 4;  // blocks in each ranked list
constexpr int32_t kBrightestBlock = 255 * kBlockSize * kBlockSize;

// Inserts s at the first position whose value it ranks before (ties go in
// front); the last value drops out.
template <typename Before>
void offer(int32_t (&list)[nBlSum], int32_t s, Before before) {
    for (int i = 0; i < nBlSum; ++i) {
        if (before(s, list[i])) {
            for (int j = nBlSum - 1; j > i; --j) list[j] = list[j - 1];
            list[i] = s;
            return;
        }
    }
}

// Block sums looked at together before any is offered to the lists.
constexpr uint32_t kRun = 32;

}  // namespace

// Why the walk may run over the block sums in any order: each list stays sorted
// (ascending darkest, descending brightest) and ends as the four smallest (or
// largest) of all visited sums and its initial values; equal values are equal,
// so where a tie goes changes nothing. The final double sum adds the lists in
// that sorted order, so it depends only on the multiset of visited sums. Block
// sums are integers of at most 16320, exact in a double, so ranking them as
// integers ranks their doubles alike.
double exposureOfSums(const int32_t* sums, uint32_t w, uint32_t h) {
    constexpr uint32_t B = kBlockSize;
    int32_t darkest[nBlSum] = {kBrightestBlock, kBrightestBlock, kBrightestBlock, kBrightestBlock};
    int32_t brightest[nBlSum] = {0, 0, 0, 0};
    // Frames with no whole block keep the initial lists, as an 8-wide frame does.
    if (w >= B && h >= B) {
        // Block columns and rows that start at W - B or later are left out: the
        // visited blocks are the first (W - 1) / B columns and (H - 1) / B rows of
        // the whole-block grid.
        const uint32_t gridW = w / B;
        const uint32_t columns = (w - 1) / B;
        const uint32_t rows = (h - 1) / B;
        for (uint32_t r = 0; r < rows; ++r) {
            const int32_t* row = sums + uint64_t{r} * gridW;
            for (uint32_t c0 = 0; c0 < columns; c0 += kRun) {
                const uint32_t end = std::min(columns, c0 + kRun);
                // A run whose every sum both lists would refuse is passed over whole.
                int32_t lo = row[c0];
                int32_t hi = row[c0];
                for (uint32_t c = c0 + 1; c < end; ++c) {
                    lo = std::min(lo, row[c]);
                    hi = std::max(hi, row[c]);
                }
                if (lo > darkest[nBlSum - 1] && hi < brightest[nBlSum - 1]) continue;
                for (uint32_t c = c0; c < end; ++c) {
                    const int32_t s = row[c];
                    // A sorted list takes s exactly when its last value would.
                    if (s <= darkest[nBlSum - 1])
                        offer(darkest, s, [](int32_t v, int32_t stored) { return stored >= v; });
                    if (s >= brightest[nBlSum - 1])
                        offer(brightest, s, [](int32_t v, int32_t stored) { return v >= stored; });
                }
            }
        }
    }
    double total = 0.0;
    for (int32_t v : brightest) total += v;
    for (int32_t v : darkest) total += v;
    return total / (2.0 * nBlSum * B * B);
}

double exposure(const Image& frame) {
    thread_local SharedPasses passes;
    passes.start(frame);
    return exposureOfSums(passes.blockSums8(), static_cast<uint32_t>(frame.w), static_cast<uint32_t>(frame.h));
}
