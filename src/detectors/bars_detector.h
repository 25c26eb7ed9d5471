// Letterbox and pillarbox bars: black rows and columns from each edge of the picture. A row
// or column is a bar when down its whole length it is no brighter than black plus twice the
// noise tolerance, so that bars with the noise of an analogue transfer are still bars. Each side
// is measured on its own: a one-sided bar is found, with its side.
#pragma once

#include <cstdint>

#include "detectors/detections.h"
#include "detectors/luma_range.h"
#include "tools/image.h"

struct BarsRule {
    int tolerance = 4;  // levels of noise on a bar (in 8 bits; scaled with the depth)
};

BarWidths measureBars(const Plane& picture, const LumaRange& range, const BarsRule& rule = {});

// The narrowest bar that counts: 1 % of the side it stands across, at least 2 pixels, so
// that a dark line an encoder's crop left is no bar.
uint32_t smallestBar(uint32_t across);

inline bool hasLetterbox(const BarWidths& bars, uint32_t height) {
    return bars.top >= smallestBar(height) || bars.bottom >= smallestBar(height);
}
inline bool hasPillarbox(const BarWidths& bars, uint32_t width) {
    return bars.left >= smallestBar(width) || bars.right >= smallestBar(width);
}
