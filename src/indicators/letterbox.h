// Letterbox: flat bars above and below the picture. The number of row pairs,
// counted from the top and bottom edges inwards, whose rows are both flat, over
// half the frame height. NaN for a frame of fewer than two rows.
#pragma once

#include <cstdint>

#include "tools/image.h"

double letterbox(const Image& frame);

// True when row i and row height - 1 - i of the plane are both flat (every sample
// equals its right-hand neighbour). A row narrower than two samples is flat.
bool checkLetterBar(const uint8_t* data, uint32_t width, uint32_t height, uint32_t i);
