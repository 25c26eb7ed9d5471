// FFmpeg's module as an older build would have made it: its table has another version.
#include "io/ffmpeg_module_interface.h"

extern "C" __attribute__((visibility("default"))) const FfmpegModule* frameprobe_ffmpeg_module() {
    static const FfmpegModule stale{kFfmpegModuleVersion - 1, sizeof(FfmpegModule), nullptr, nullptr, nullptr};
    return &stale;
}
