// The program's version, as --version and the JSON output give it.
#pragma once

#include "frameprobe/version.h"

inline constexpr const char* kFrameprobeVersion = FRAMEPROBE_VERSION_STRING;
