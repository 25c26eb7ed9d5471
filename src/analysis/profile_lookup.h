// Where QC profiles are found: a file by its path, or a name among the profiles shipped
// with the program.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "analysis/profile.h"

// The folders holding the shipped profiles, first match wins: the data directory beside
// the program's own (PREFIX/bin/../share/frameprobe/profiles), then the build tree's copy.
std::vector<std::filesystem::path> profileDirectories();

// The shipped profiles by name (file stem), the first folder's winning.
std::map<std::string, std::filesystem::path> shippedProfiles();

// "none found (looked in FOLDER, ...)", for an empty list of shipped profiles.
std::string noProfilesFoundText();

// The file of a path (it has a slash or ends in .toml) or of a shipped profile's name.
// Throws ProfileError for an unknown name, listing the names there are.
std::filesystem::path profilePath(const std::string& nameOrFile);

// The profile of a path or a shipped profile's name. Throws ProfileError.
Profile resolveProfile(const std::string& nameOrFile);
