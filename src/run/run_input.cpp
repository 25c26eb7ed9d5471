#include "run/run_input.h"

#include <limits>

#include "io/raw_source.h"

std::variant<OpenedInput, std::string> openRunInput(const InputRequest& r) {
    const OpenRequest request{r.path, r.width, r.height, r.stream, r.ffmpegLog, r.threads, r.decoderThreads};
    auto detected = detectInput(request);
    if (auto* error = std::get_if<std::string>(&detected)) return *error;
    OpenedInput input{std::move(std::get<DetectedInput>(detected)), nullptr};
    if (r.pixelFormat && input.detected.kind != InputKind::Raw)
        return inputName(r.path) + " states its own pixel format: --pix-fmt is for raw YUV input";
    if (input.detected.kind != InputKind::Raw) {
        auto opened = openSource(request, std::move(input.detected));
        if (auto* error = std::get_if<std::string>(&opened)) return *error;
        input.source = std::move(std::get<std::unique_ptr<FrameSource>>(opened));
        return input;
    }
    const std::optional<PictureFormat> format = planarFormat(r.pixelFormat.value_or("yuv420p"));
    if (!format) return "unknown raw pixel format \"" + *r.pixelFormat + "\"";
    // yuv420p keeps the long-standing size of a frame, 3/2 bytes per pixel rounded down.
    const uint64_t frameSize = format->pixelFormat == "yuv420p" ? 3 * uint64_t{*r.width} * *r.height / 2
                                                                : planarFrameBytes(*format, *r.width, *r.height);
    if (frameSize > uint64_t{std::numeric_limits<int32_t>::max()})
        return "a raw frame of " + std::to_string(*r.width) + "x" + std::to_string(*r.height) + " (" +
               std::to_string(frameSize) + " bytes) exceeds 2147483647 bytes";
    ByteStream& stream = *input.detected.stream;
    std::optional<int64_t> count;
    if (const auto length = stream.length()) count = static_cast<int64_t>(*length / frameSize);
    // Without a frame count the end of the input ends the run; with one, a raw
    // range past the end shows what short reads leave, as in the positional form.
    input.source = std::make_unique<RawSource>(stream, *r.width, *r.height, static_cast<int64_t>(frameSize), count,
                                               !r.frames, *format);
    return input;
}
