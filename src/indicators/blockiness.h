// Blockiness on the 8-sample grid.
#pragma once

#include "tools/image.h"

double blockiness(const Image& frame);
