// Contrast as the deviation of the luma samples.
#pragma once

#include "tools/image.h"

double contrastRMS(const Image& frame);
