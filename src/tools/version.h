// The program's version, as --version and the JSON output give it.
#pragma once

inline constexpr const char* kFrameprobeVersion = "1.0.0";
