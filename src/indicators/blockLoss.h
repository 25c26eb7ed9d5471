// Block loss: flat blocks on the 16-sample grid.
#pragma once

#include "tools/image.h"

double blockLoss(const Image& frame);
