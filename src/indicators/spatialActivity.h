// Spatial activity of a frame: the root mean square of the Sobel gradient
// magnitude, taken over the interior and divided by every sample of the frame.
#pragma once

#include "tools/image.h"

double spatialActivity(const Image& frame);

// Square root of the summed squared Sobel magnitudes (Gx² + Gy²) over the
// interior samples; 0 for frames of fewer than three rows or columns.
double spatialAct(const Image& frame);
