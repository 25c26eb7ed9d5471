// Pillarbox: a flat bar at the left edge of the picture. The number of columns,
// counted from the left edge inwards, that repeat their right-hand neighbour, over
// half the frame width. NaN for a frame of fewer than two columns.
#pragma once

#include <cstdint>

#include "tools/image.h"

double pillarbox(const Image& frame);

// True when column c equals column c + 1 on the rows 0, height - 1, 1, height - 2,
// ... (height / 2 pairs; the middle row of an odd height is not examined). Always
// true for a plane of fewer than two rows.
bool checkPillarBar(const uint8_t* data, uint32_t width, uint32_t height, uint32_t c);
