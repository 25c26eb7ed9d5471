// The version written into machine-readable output.
#pragma once

inline constexpr const char* kFrameprobeVersion = "1.0.0";
