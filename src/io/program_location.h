// Where the running program lives, so that files installed next to it can be found.
#pragma once

#include <filesystem>
#include <optional>

// Remembers how the program was started (its argv[0]); main() calls it first.
void rememberProgramPath(const char* argv0);

// The directory of the program's file with symbolic links resolved, or none when
// the name it was started as cannot be traced back to a file.
std::optional<std::filesystem::path> programDirectory();

// The directory of the file that holds this code: the program, or the shared
// library or Python module a client loaded; none when it cannot be told.
std::optional<std::filesystem::path> codeDirectory();
