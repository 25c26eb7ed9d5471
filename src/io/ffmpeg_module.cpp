#include "io/ffmpeg_module.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "io/install_layout.h"

namespace {

constexpr std::size_t kProbeBytes = 1 << 16;

std::string loaderError() {
    const char* error = dlerror();
    return error != nullptr ? error : "unknown error";
}

// `file` with a slash is opened as it is; a bare name through the dynamic linker's search
// (LD_LIBRARY_PATH, the run path of the program that holds this code).
std::variant<const FfmpegModule*, std::string> loadFile(const std::string& file) {
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return loaderError();
    auto* entry = reinterpret_cast<const FfmpegModule* (*)()>(dlsym(handle, kFfmpegModuleEntry));
    if (entry == nullptr) {
        std::string error = loaderError();
        dlclose(handle);
        return error;
    }
    const FfmpegModule* module = entry();
    if (module->version != kFfmpegModuleVersion || module->size != sizeof(FfmpegModule)) {
        std::string error = file + ": a module of another build of frameprobe (interface " +
                            std::to_string(module->version) + ", this program needs " +
                            std::to_string(kFfmpegModuleVersion) + ")";
        dlclose(handle);
        return error;
    }
    return module;  // never unloaded: the sources it opens run its code
}

std::variant<const FfmpegModule*, std::string> loadFrom(const std::filesystem::path& dir) {
    return loadFile((dir / FRAMEPROBE_MODULE_FILE).string());
}

std::variant<const FfmpegModule*, std::string> load() {
    const std::string failed = std::string("the module ") + FRAMEPROBE_MODULE_FILE + " could not be loaded";
    if (const char* chosen = getenv("FRAMEPROBE_MODULE_DIR"); chosen != nullptr && *chosen != '\0') {
        auto loaded = loadFrom(chosen);
        if (auto* error = std::get_if<std::string>(&loaded)) return failed + " from FRAMEPROBE_MODULE_DIR: " + *error;
        return loaded;
    }
    std::string tried;
    for (const auto& dir : moduleDirectories()) {
        auto loaded = loadFrom(dir);
        auto* error = std::get_if<std::string>(&loaded);
        if (error == nullptr) return loaded;
        tried += (tried.empty() ? "" : "; ") + *error;
    }
    // Last, the run path a static client of an installed library was linked with
    // (its CMake package and pkg-config file set it to the prefix's lib/frameprobe).
    auto loaded = loadFile(FRAMEPROBE_MODULE_FILE);
    auto* error = std::get_if<std::string>(&loaded);
    if (error == nullptr) return loaded;
    tried += "; " + *error;
    return failed + ": " + tried + "; set FRAMEPROBE_MODULE_DIR to the directory that holds it";
}

}  // namespace

std::variant<const FfmpegModule*, std::string> ffmpegModule() {
    static const auto module = load();
    return module;
}

namespace {

// FFmpeg's module, or why an input that needs it cannot be read.
std::variant<const FfmpegModule*, std::string> moduleFor(const std::string& name) {
    auto module = ffmpegModule();
    if (auto* error = std::get_if<std::string>(&module))
        return "Reading " + name + " needs FFmpeg's libraries, but " + *error;
    return module;
}

}  // namespace

Recognition recogniseContainer(const InputProbe& probe) {
    const auto module = moduleFor(probe.name);
    if (auto* error = std::get_if<std::string>(&module)) return {false, *error};
    return {std::get<const FfmpegModule*>(module)->probe(probe.request.path, probe.stream.peek(kProbeBytes)), {}};
}

OpenedSource openContainerInput(const OpenRequest& request, std::unique_ptr<ByteStream> stream) {
    const std::string name = inputName(request.path);
    const auto module = moduleFor(name);
    if (auto* error = std::get_if<std::string>(&module)) return *error;
    const FfmpegModule& ffmpeg = *std::get<const FfmpegModule*>(module);
    // A live input is FFmpeg's to read from the start, by its name, with its audio level.
    if (request.live) return ffmpeg.openLive(request.path, *request.live);
    ContainerRequest container{name, request.stream, {}, request.ffmpegLog, request.threads, request.decoderThreads};
    if (stream == nullptr) container.path = request.path;
    if (stream != nullptr) {
        std::shared_ptr<ByteStream> pipe = std::move(stream);
        container.read = [pipe](uint8_t* destination, std::size_t count) { return pipe->read(destination, count); };
    }
    return ffmpeg.open(container);
}
