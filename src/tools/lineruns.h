// Run counters along the lines of a 32-bit plane. A run is a stretch of
// consecutive entries of one line that are all greater than the threshold (signed
// comparison); a run never continues into the next line.
#pragma once

#include <cstdint>

#include "tools/image.h"

// Number of runs of at least minLength entries above the threshold.
int32_t tempCountSeqsH(Image32 src, int32_t threshold, int32_t minLength);

// Number of runs above the threshold, whatever their length; 0 for an empty plane.
int32_t tempCountSeqsH2(Image32 src, int32_t threshold);
