// Blockiness on the 8-sample grid: the ratio of the steps just inside the blocks
// to the steps across the block edges. Near 1 without block artefacts, lower as
// the grid shows; 1.0 when the frame has no step at all.
#pragma once

#include "tools/image.h"

double blockiness(const Image& frame);

// Maps a blockiness value onto an opinion-score scale, clamped below at 0.
double blockToMOS(double value);
