// Blackout: 1 when the frame is a single flat level.
#pragma once

#include "tools/image.h"

uint8_t blackout(const Image& frame);
