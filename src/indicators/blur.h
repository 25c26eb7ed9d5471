// Blur from the width of edges.
#pragma once

#include "tools/image.h"

double blur(const Image& frame);
