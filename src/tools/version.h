// The program's version, as --version and the JSON output give it: the project's
// version in CMakeLists.txt.
#pragma once

inline constexpr const char* kFrameprobeVersion = FRAMEPROBE_VERSION;
