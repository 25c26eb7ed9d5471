#include "io/open_source.h"

namespace {

bool isUrl(const std::string& input) { return input.find("://") != std::string::npos; }

std::string sizeText(std::optional<uint32_t> width, std::optional<uint32_t> height) {
    return (width ? std::to_string(*width) : "?") + "x" + (height ? std::to_string(*height) : "?");
}

const InputKindEntry& entryOf(InputKind kind) {
    for (const InputKindEntry& entry : kInputKinds)
        if (entry.kind == kind) return entry;
    return kInputKinds[0];  // every kind has an entry
}

}  // namespace

std::string inputName(const std::string& path) { return path == "-" ? "standard input" : path; }

std::variant<DetectedInput, std::string> detectInput(const OpenRequest& request) {
    DetectedInput detected;
    // A live URL is FFmpeg's to open: there are no bytes to look at first.
    if (request.live && isUrl(request.path)) return detected;
    const std::string name = inputName(request.path);
    std::string error;
    detected.stream = request.file != nullptr ? std::make_unique<ByteStream>(request.file, false)
                                              : ByteStream::open(request.path, error);
    if (!detected.stream) return error;
    if (request.rawOnly) {
        detected.kind = InputKind::Raw;
        return detected;
    }
    const bool pipe = !detected.stream->seekable() || request.path == "-";
    const InputProbe probe{request, name, *detected.stream, request.width && request.height, pipe};
    for (const InputKindEntry& entry : kInputKinds) {
        const Recognition answer = entry.recognise(probe);
        if (!answer.error.empty()) return answer.error;
        if (!answer.recognised) continue;
        detected.kind = entry.kind;
        if (entry.byName && !pipe) detected.stream.reset();
        return detected;
    }
    return "Cannot tell what " + name + " holds";  // the last kind takes what the others do not
}

std::variant<std::unique_ptr<FrameSource>, std::string> openSource(const OpenRequest& request,
                                                                   DetectedInput detected) {
    const std::string name = inputName(request.path);
    auto opened = entryOf(detected.kind).open(request, std::move(detected.stream));
    if (auto* error = std::get_if<std::string>(&opened)) return *error;
    std::unique_ptr<FrameSource> source = std::move(std::get<std::unique_ptr<FrameSource>>(opened));
    const SourceInfo& info = source->info();
    if ((request.width && *request.width != info.width) || (request.height && *request.height != info.height))
        return "The size " + sizeText(request.width, request.height) + " given does not match " + name + ", which is " +
               sizeText(info.width, info.height);
    return source;
}

std::optional<std::string> bitDepthNote(const SourceInfo& info) {
    if (info.bitDepth <= 8) return std::nullopt;
    return "Note: the samples have " + std::to_string(info.bitDepth) +
           " bits; they are measured on their 8 most significant bits";
}
