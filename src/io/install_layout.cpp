#include "io/install_layout.h"

#include <algorithm>
#include <optional>

#include "io/program_location.h"

namespace {

using std::filesystem::path;

void addOnce(std::vector<path>& dirs, const path& dir) {
    const path normal = dir.lexically_normal();
    if (std::find(dirs.begin(), dirs.end(), normal) == dirs.end()) dirs.push_back(normal);
}

// `fromBin` is the install's folder relative to its bin/ folder, `configured` its absolute place.
std::vector<path> installedPlaces(const std::optional<path>& own, const char* fromBin, const char* configured) {
    std::vector<path> dirs;
    if (own) addOnce(dirs, *own / fromBin);
    addOnce(dirs, configured);
    return dirs;
}

}  // namespace

std::vector<path> moduleDirectories() {
    const std::optional<path> own = programDirectory();
    std::vector<path> dirs;
    if (own) addOnce(dirs, *own);
    // A library's client (a program of its own, Python): next to the library in a
    // build tree, in its frameprobe/ folder once installed.
    if (const std::optional<path> code = codeDirectory()) {
        addOnce(dirs, *code);
        addOnce(dirs, *code / "frameprobe");
    }
    for (const path& dir : installedPlaces(own, FRAMEPROBE_MODULE_DIR_FROM_BIN, FRAMEPROBE_MODULE_INSTALL_DIR))
        addOnce(dirs, dir);
    // A static client of the Debian package's library knows no other place.
    addOnce(dirs, FRAMEPROBE_MODULE_PACKAGE_DIR);
    return dirs;
}

std::vector<path> dataDirectories() {
    return installedPlaces(programDirectory(), FRAMEPROBE_DATA_DIR_FROM_BIN, FRAMEPROBE_DATA_INSTALL_DIR);
}
