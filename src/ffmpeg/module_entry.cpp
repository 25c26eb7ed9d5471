// The table the program finds in the module (the only symbol the module exports).
#include "ffmpeg/container_probe.h"
#include "ffmpeg/ffmpeg_log.h"
#include "ffmpeg/ffmpeg_source.h"
#include "io/ffmpeg_module_interface.h"

namespace {

std::variant<std::unique_ptr<FrameSource>, std::string> openContainer(const ContainerRequest& request) {
    if (!setFfmpegLog(request.log)) return "unknown FFmpeg log level \"" + request.log + "\"";
    auto opened = FfmpegSource::open(request);
    if (auto* error = std::get_if<std::string>(&opened)) return *error;
    return std::unique_ptr<FrameSource>(std::move(std::get<std::unique_ptr<FfmpegSource>>(opened)));
}

std::variant<std::unique_ptr<FrameSource>, std::string> openLive(const std::string& url,
                                                                 const LiveOpenOptions& options) {
    setFfmpegLog("error");  // a channel runs for days: the libraries' warnings would flood its log
    auto opened = FfmpegSource::openLive(url, options);
    if (auto* error = std::get_if<std::string>(&opened)) return *error;
    return std::unique_ptr<FrameSource>(std::move(std::get<std::unique_ptr<FfmpegSource>>(opened)));
}

constexpr FfmpegModule kModule{kFfmpegModuleVersion, sizeof(FfmpegModule), probeContainer, openContainer, openLive};

}  // namespace

extern "C" __attribute__((visibility("default"))) const FfmpegModule* frameprobe_ffmpeg_module() { return &kModule; }
