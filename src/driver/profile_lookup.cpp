#include "driver/profile_lookup.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string_view>
#include <system_error>

#include "cli/options.h"
#include "driver/option_run.h"
#include "io/install_layout.h"
#include "io/program_location.h"

namespace {

constexpr std::string_view kExtension = ".toml";

// Shipped profiles by name (file stem), the first folder's winning.
std::map<std::string, std::filesystem::path> shippedProfiles() {
    std::map<std::string, std::filesystem::path> found;
    for (const std::filesystem::path& folder : profileDirectories()) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
            if (entry.path().extension() == kExtension) found.emplace(entry.path().stem().string(), entry.path());
    }
    return found;
}

bool looksLikeFile(const std::string& text) {
    return text.find('/') != std::string::npos || (text.size() > kExtension.size() && text.ends_with(kExtension));
}

std::string noneFoundText() {
    std::string folders;
    for (const std::filesystem::path& folder : profileDirectories())
        folders += (folders.empty() ? "" : ", ") + folder.lexically_normal().string();
    return "none found (looked in " + (folders.empty() ? std::string("no folder") : folders) + ")";
}

std::string namesText(const std::map<std::string, std::filesystem::path>& shipped) {
    std::string names;
    for (const auto& [name, path] : shipped) names += (names.empty() ? "" : ", ") + name;
    return names.empty() ? noneFoundText() : names;
}

std::filesystem::path shippedPath(const std::string& name) {
    const auto shipped = shippedProfiles();
    const auto it = shipped.find(name);
    if (it == shipped.end())
        throw ProfileError("no profile named \"" + name + "\"; the profiles are: " + namesText(shipped));
    return it->second;
}

}  // namespace

std::vector<std::filesystem::path> profileDirectories() {
    std::vector<std::filesystem::path> folders;
    if (const auto program = programDirectory()) {
        folders.push_back(*program / ".." / "share" / "frameprobe" / "profiles");
        folders.push_back(*program / "share" / "frameprobe" / "profiles");
    }
    // An install found through its configured data folder, for a program run from elsewhere.
    for (const std::filesystem::path& data : dataDirectories()) {
        const std::filesystem::path folder = (data / "profiles").lexically_normal();
        if (std::none_of(folders.begin(), folders.end(), [&](const auto& f) { return f.lexically_normal() == folder; }))
            folders.push_back(folder);
    }
    return folders;
}

Profile resolveProfile(const std::string& nameOrFile) {
    return loadProfileFile(looksLikeFile(nameOrFile) ? std::filesystem::path(nameOrFile) : shippedPath(nameOrFile));
}

int runProfiles(int argc, char** argv) {
    const std::string usage = "usage: frameprobe profiles [show NAME]";
    try {
        if (argc == 2) {
            const auto shipped = shippedProfiles();
            // An empty list would read as success; a broken build or install must show.
            if (shipped.empty()) {
                fprintf(stderr, "frameprobe: no profiles: %s\n", noneFoundText().c_str());
                return kToolFailure;
            }
            for (const auto& [name, path] : shipped) {
                const Profile p = loadProfileFile(path);
                printf("%-20s %-8s %s\n", name.c_str(), p.version.c_str(), p.description.c_str());
            }
            return fflush(stdout) == 0 ? 0 : kToolFailure;
        }
        if (argc == 4 && std::string_view(argv[2]) == "show") {
            const std::filesystem::path path = looksLikeFile(argv[3]) ? argv[3] : shippedPath(argv[3]);
            loadProfileFile(path);  // only a sound profile is shown
            std::ifstream in(path, std::ios::binary);
            std::ostringstream text;
            text << in.rdbuf();
            fputs(text.str().c_str(), stdout);
            return fflush(stdout) == 0 ? 0 : kToolFailure;
        }
    } catch (const ProfileError& e) {
        fprintf(stderr, "frameprobe: %s\n", e.what());
        return kUsageStatus;
    }
    fprintf(stderr, "frameprobe: %s\n", usage.c_str());
    return kUsageStatus;
}
