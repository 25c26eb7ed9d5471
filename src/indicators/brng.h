// The share of a picture out of broadcast range, as ffmpeg's signalstats counts it (BRNG):
// chroma positions whose Y, U or V lies outside 16-235 (Y) or 16-240 (U, V) at 8 bits, at
// the picture's own depth. Measuring it records the picture's whole signalstats set
// (YMIN .. VDIF, SAT*, HUE*) on the frame's row, which it is computed with.
#pragma once

#include <optional>

#include "indicators/shared_passes.h"
#include "tools/image.h"
#include "tools/picture.h"

std::optional<double> outOfBroadcastRange(const Image& luma, const Picture& picture, SharedPasses& shared);
