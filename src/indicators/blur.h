// Blur from the width of edges.
#pragma once

#include "tools/image.h"

// Mean width, in samples, of the strong horizontal edges of the frame; 0.0 when
// the frame has none or is narrower or lower than one 16x16 block.
double blur(const Image& frame);

// Maps a blur value to a score from 0 to 5 (sharper is higher).
double blurToMOS(double b);
