#include "run/run_input.h"

#include <limits>

#include "io/raw_source.h"

std::variant<OpenedInput, std::string> openRunInput(const InputRequest& r) {
    const OpenRequest request{r.path, r.width, r.height, r.stream, r.ffmpegLog, r.threads};
    auto detected = detectInput(request);
    if (auto* error = std::get_if<std::string>(&detected)) return *error;
    OpenedInput input{std::move(std::get<DetectedInput>(detected)), nullptr};
    if (input.detected.kind != InputKind::Raw) {
        auto opened = openSource(request, std::move(input.detected));
        if (auto* error = std::get_if<std::string>(&opened)) return *error;
        input.source = std::move(std::get<std::unique_ptr<FrameSource>>(opened));
        return input;
    }
    const uint64_t frameSize = 3 * uint64_t{*r.width} * *r.height / 2;
    if (frameSize > uint64_t{std::numeric_limits<int32_t>::max()})
        return "a raw frame of " + std::to_string(*r.width) + "x" + std::to_string(*r.height) + " (" +
               std::to_string(frameSize) + " bytes) exceeds 2147483647 bytes";
    ByteStream& stream = *input.detected.stream;
    std::optional<int64_t> count;
    if (const auto length = stream.length()) count = static_cast<int64_t>(*length / frameSize);
    // Without a frame count the end of the input ends the run; with one, a raw
    // range past the end shows what short reads leave, as in the positional form.
    input.source = std::make_unique<RawSource>(stream, *r.width, *r.height, static_cast<int64_t>(frameSize), count,
                                               !r.frames);
    return input;
}
