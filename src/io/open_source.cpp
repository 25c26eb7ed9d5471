#include "io/open_source.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>

#include "io/ffmpeg_module.h"
#include "io/y4m_source.h"

namespace {

constexpr std::size_t kProbeBytes = 1 << 16;

bool hasRawExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".yuv" || extension == ".raw";
}

// FFmpeg's module, or why an input that needs it cannot be read.
std::variant<const FfmpegModule*, std::string> moduleFor(const std::string& name) {
    auto module = ffmpegModule();
    if (auto* error = std::get_if<std::string>(&module))
        return "Reading " + name + " needs FFmpeg's libraries, but " + *error;
    return module;
}

std::string sizeText(std::optional<uint32_t> width, std::optional<uint32_t> height) {
    return (width ? std::to_string(*width) : "?") + "x" + (height ? std::to_string(*height) : "?");
}

}  // namespace

std::string inputName(const std::string& path) { return path == "-" ? "standard input" : path; }

std::variant<DetectedInput, std::string> detectInput(const OpenRequest& request) {
    const std::string name = inputName(request.path);
    const bool sized = request.width && request.height;
    std::string error;
    DetectedInput detected;
    detected.stream = ByteStream::open(request.path, error);
    if (!detected.stream) return error;
    if (detected.stream->peek(10) == "YUV4MPEG2 ") {
        detected.kind = InputKind::Y4m;
        return detected;
    }
    if (detected.stream->error() != 0) return "Could not read " + name + ": " + strerror(detected.stream->error());
    detected.kind = InputKind::Raw;
    if (hasRawExtension(request.path)) {
        if (!sized) return "Raw YUV input " + name + " needs a width and a height";
        return detected;
    }
    // A pipe with a size given carries raw YUV; without one, a container FFmpeg reads front to back.
    const bool pipe = !detected.stream->seekable() || request.path == "-";
    if (pipe && sized) return detected;
    const auto module = moduleFor(name);
    if (auto* error = std::get_if<std::string>(&module)) return *error;
    if (std::get<const FfmpegModule*>(module)->probe(request.path, detected.stream->peek(kProbeBytes))) {
        detected.kind = InputKind::Container;
        if (!pipe) detected.stream.reset();
        return detected;
    }
    if (!sized && detected.stream->peek(1).empty()) return name + " is empty";
    if (pipe) return name + " is not Y4M; raw YUV from " + name + " needs a width and a height";
    if (!sized) return "Cannot tell what " + name + " holds; raw YUV input needs a width and a height";
    return detected;
}

std::variant<std::unique_ptr<FrameSource>, std::string> openSource(const OpenRequest& request,
                                                                   DetectedInput detected) {
    const std::string name = inputName(request.path);
    std::unique_ptr<FrameSource> source;
    if (detected.kind == InputKind::Raw) return "Raw YUV input " + name + " is opened by the raw source";
    if (detected.kind == InputKind::Y4m) {
        if (request.stream > 0) return name + " is Y4M and has no stream " + std::to_string(request.stream);
        auto opened = Y4mSource::open(std::move(detected.stream), name);
        if (auto* error = std::get_if<std::string>(&opened)) return *error;
        source = std::move(std::get<std::unique_ptr<Y4mSource>>(opened));
    } else {
        const auto module = moduleFor(name);
        if (auto* error = std::get_if<std::string>(&module)) return *error;
        ContainerRequest container{name, request.stream, {}, request.ffmpegLog, request.threads, request.decoderThreads};
        if (detected.stream == nullptr) container.path = request.path;
        if (detected.stream != nullptr) {
            std::shared_ptr<ByteStream> pipe = std::move(detected.stream);
            container.read = [pipe](uint8_t* destination, std::size_t count) { return pipe->read(destination, count); };
        }
        auto opened = std::get<const FfmpegModule*>(module)->open(container);
        if (auto* error = std::get_if<std::string>(&opened)) return *error;
        source = std::move(std::get<std::unique_ptr<FrameSource>>(opened));
    }
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
