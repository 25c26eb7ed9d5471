#include "run/run_input.h"

std::variant<OpenedInput, std::string> openRunInput(const InputRequest& r) {
    const OpenRequest request{r.path,   r.width,       r.height, r.stream,  r.ffmpegLog, r.threads,
                              r.decoderThreads, r.frames, r.pixelFormat, r.live, r.rawOnly, r.file};
    auto detected = detectInput(request);
    if (auto* error = std::get_if<std::string>(&detected)) return *error;
    OpenedInput input{std::move(std::get<DetectedInput>(detected)), nullptr};
    if (r.pixelFormat && input.detected.kind != InputKind::Raw)
        return inputName(r.path) + " states its own pixel format: --pix-fmt is for raw YUV input";
    auto opened = openSource(request, std::move(input.detected));
    if (auto* error = std::get_if<std::string>(&opened)) return *error;
    input.source = std::move(std::get<std::unique_ptr<FrameSource>>(opened));
    return input;
}
