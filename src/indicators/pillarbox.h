// Pillarbox: black bars left and right of the picture.
#pragma once

#include "tools/image.h"

double pillarbox(const Image& frame);
