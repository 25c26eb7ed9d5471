// Interlace: combing between the two fields.
#pragma once

#include "tools/image.h"

double interlace(const Image& frame);
