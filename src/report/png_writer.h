// Grey pictures as PNG files in memory, for thumbnails embedded in a page.
#pragma once

#include <string>

#include "tools/image.h"

// The PNG bytes of an 8-bit grey picture; the same samples always give the same bytes.
// Throws std::runtime_error when the encoder fails.
std::string encodeGreyPng(const Image& picture);
