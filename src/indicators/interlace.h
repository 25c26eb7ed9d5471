// Interlace: share of 4x4 sample groups in which every column zig-zags from line to line.
#pragma once

#include "tools/image.h"

inline constexpr int kInterlaceBlockSize = 4;

double interlace(const Image& frame);
