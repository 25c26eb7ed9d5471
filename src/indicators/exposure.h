// Exposure: brightness of the darkest and brightest blocks.
#pragma once

#include "tools/image.h"

double exposure(const Image& frame);
