// Loading the module that reads containers with FFmpeg's libraries, on first need.
#pragma once

#include <string>
#include <variant>

#include "io/ffmpeg_module_interface.h"
#include "io/input_probe.h"

// The module's table, loaded on the first call and kept for the life of the
// process, or a one-line message naming every place it was looked for, why it
// could not be loaded there, and FRAMEPROBE_MODULE_DIR. The module is looked for
// in FRAMEPROBE_MODULE_DIR alone when that is set, otherwise in the places
// moduleDirectories() lists.
std::variant<const FfmpegModule*, std::string> ffmpegModule();

// Containers as an input kind (io/input_kinds.h): what FFmpeg's probe recognises, which loads the
// module. Files are opened by name, pipes through `stream`; with `request.live`, any of them live.
Recognition recogniseContainer(const InputProbe& probe);
OpenedSource openContainerInput(const OpenRequest& request, std::unique_ptr<ByteStream> stream);
