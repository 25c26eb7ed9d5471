// Where QC profiles are found: a file by its path, or a name among the profiles shipped
// with the program, and the `frameprobe profiles` command that lists and prints them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/profile.h"

// The folders holding the shipped profiles, first match wins: the data directory beside
// the program's own (PREFIX/bin/../share/frameprobe/profiles), then the build tree's copy.
std::vector<std::filesystem::path> profileDirectories();

// A path (it has a slash or ends in .toml) or the name of a shipped profile. Throws
// ProfileError; an unknown name lists the names there are.
Profile resolveProfile(const std::string& nameOrFile);

// frameprobe profiles [show NAME]
int runProfiles(int argc, char** argv);
