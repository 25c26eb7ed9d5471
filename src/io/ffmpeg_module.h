// Loading the module that reads containers with FFmpeg's libraries, on first need.
#pragma once

#include <string>
#include <variant>

#include "ffmpeg/module_interface.h"

// The module's table, loaded on the first call and kept for the life of the
// process, or a one-line message naming where it was looked for and why it
// could not be loaded. The module is looked for in FRAMEPROBE_MODULE_DIR when
// that is set, otherwise next to the program, then where it is installed.
std::variant<const FfmpegModule*, std::string> ffmpegModule();
