#include "io/program_location.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string& startedAs() {
    static std::string name;
    return name;
}

std::optional<std::filesystem::path> resolved(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return std::nullopt;
    std::filesystem::path result(real);
    free(real);
    return result;
}

bool isExecutableFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A name without a slash was found by the shell along PATH; an empty entry means the working directory.
std::optional<std::filesystem::path> searchPath(const std::string& name) {
    const char* path = getenv("PATH");
    if (path == nullptr) return std::nullopt;
    std::string_view rest(path);
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view dir = rest.substr(0, colon);
        const std::string candidate = (dir.empty() ? std::string(".") : std::string(dir)) + "/" + name;
        if (isExecutableFile(candidate)) return resolved(candidate);
        if (colon == std::string_view::npos) return std::nullopt;
        rest.remove_prefix(colon + 1);
    }
}

}  // namespace

void rememberProgramPath(const char* argv0) { startedAs() = argv0 != nullptr ? argv0 : ""; }

std::optional<std::filesystem::path> programDirectory() {
    const std::string& name = startedAs();
    if (name.empty()) return std::nullopt;
    // Relative names are resolved against the working directory, which the program never changes.
    const auto program = name.find('/') != std::string::npos ? resolved(name) : searchPath(name);
    if (!program) return std::nullopt;
    return program->parent_path();
}

std::optional<std::filesystem::path> codeDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&codeDirectory), &info) == 0 || info.dli_fname == nullptr) return std::nullopt;
    const auto file = resolved(info.dli_fname);
    if (!file) return std::nullopt;
    return file->parent_path();
}
