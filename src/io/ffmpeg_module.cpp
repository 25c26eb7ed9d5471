#include "io/ffmpeg_module.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "io/install_layout.h"

namespace {

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
