// Where the program finds the files installed with it. Places relative to the
// program come first, so that an installed tree works wherever it is moved or
// unpacked; the directories fixed when it was configured come after.
#pragma once

#include <filesystem>
#include <vector>

// Directories that may hold FFmpeg's module, in the order to try them: next to
// the program (a build tree), the library folder of the program's own prefix,
// the configured library folder, the Debian package's. No directory appears twice.
std::vector<std::filesystem::path> moduleDirectories();

// Directories that may hold shared data such as profiles (share/frameprobe), in
// the order to try them: the program's own prefix, then the configured one.
std::vector<std::filesystem::path> dataDirectories();
