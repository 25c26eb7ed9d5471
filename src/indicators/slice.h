// Slice: band-wise repetition of the picture.
#pragma once

#include <optional>

#include "tools/image.h"

// No value for frames lower than 48 lines: the caller keeps its previous one.
std::optional<double> slice(const Image& frame);
