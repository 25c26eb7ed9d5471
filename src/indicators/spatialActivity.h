// Spatial activity of a frame.
#pragma once

#include "tools/image.h"

double spatialActivity(const Image& frame);
