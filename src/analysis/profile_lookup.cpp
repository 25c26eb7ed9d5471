#include "analysis/profile_lookup.h"

#include <algorithm>
#include <string_view>
#include <system_error>

#include "io/install_layout.h"
#include "io/program_location.h"

namespace {

constexpr std::string_view kExtension = ".toml";

bool looksLikeFile(const std::string& text) {
    return text.find('/') != std::string::npos || (text.size() > kExtension.size() && text.ends_with(kExtension));
}

std::string namesText(const std::map<std::string, std::filesystem::path>& shipped) {
    std::string names;
    for (const auto& [name, path] : shipped) names += (names.empty() ? "" : ", ") + name;
    return names.empty() ? noProfilesFoundText() : names;
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

std::map<std::string, std::filesystem::path> shippedProfiles() {
    std::map<std::string, std::filesystem::path> found;
    for (const std::filesystem::path& folder : profileDirectories()) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
            if (entry.path().extension() == kExtension) found.emplace(entry.path().stem().string(), entry.path());
    }
    return found;
}

std::string noProfilesFoundText() {
    std::string folders;
    for (const std::filesystem::path& folder : profileDirectories())
        folders += (folders.empty() ? "" : ", ") + folder.lexically_normal().string();
    return "none found (looked in " + (folders.empty() ? std::string("no folder") : folders) + ")";
}

std::filesystem::path profilePath(const std::string& nameOrFile) {
    if (looksLikeFile(nameOrFile)) return nameOrFile;
    const auto shipped = shippedProfiles();
    const auto it = shipped.find(nameOrFile);
    if (it == shipped.end())
        throw ProfileError("no profile named \"" + nameOrFile + "\"; the profiles are: " + namesText(shipped));
    return it->second;
}

Profile resolveProfile(const std::string& nameOrFile) { return loadProfileFile(profilePath(nameOrFile)); }
