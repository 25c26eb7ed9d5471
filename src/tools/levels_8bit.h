// The levels of an 8-bit picture in one pass over its chroma rows: the histograms of its
// planes and of its chroma pairs, and the samples outside the broadcast range and outside
// given limits in R, G or B. It counts what the sample-by-sample counts of levels.h count.
#pragma once

#include <array>
#include <cstdint>

#include "tools/levels.h"

// One chroma pair's count on the picture, beside the whole luma codes a pixel of that pair
// may hold with its R, G and B within limits: one place in memory for both, which a pass over
// grainy chroma reaches in no set order.
struct PairEntry {
    uint32_t count;
    int16_t low, high;
};

struct Levels8Work {
    Reusable<PairEntry> pairs;  // of every chroma pair, Cb << 8 | Cr; bounds made once per key below
    uint64_t boundsKey = UINT64_MAX;
    Reusable<int16_t> rows;     // a row's bounds per luma place
    Reusable<uint32_t> counts;  // partial histograms of luma
};

struct Levels8 {
    std::array<uint64_t, 256> luma{}, cb{}, cr{};
    const PairEntry* pairs = nullptr;  // 65536 counts, valid until the next pass with this work
    uint64_t broadcastOutside = 0;     // pixels whose Y, Cb or Cr lies outside the broadcast range
    uint64_t rgbOutside = 0;           // pixels whose R, G or B lies outside [low, high]
};

// `picture` has three 8-bit planes, the chroma ones of one size.
void measureLevels8(const Picture& picture, int low, int high, Levels8Work& work, OutsideRowCount* rowCount,
                    Levels8& out);
