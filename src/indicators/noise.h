// Noise estimated from the flattest blocks.
#pragma once

#include "tools/image.h"

double noise(const Image& frame);
