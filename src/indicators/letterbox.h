// Letterbox: black bars above and below the picture.
#pragma once

#include "tools/image.h"

double letterbox(const Image& frame);
