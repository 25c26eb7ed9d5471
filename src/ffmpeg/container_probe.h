// Whether FFmpeg's libraries read a file as a container.
#pragma once

#include <string>

// True when FFmpeg recognises the container from its first bytes and its name.
bool probeContainer(const std::string& path, const std::string& firstBytes);
