// The start time code a container states for its video stream.
#pragma once

#include <optional>

#include "io/timecode.h"

struct AVFormatContext;

// From the `timecode` tag of the video stream, else of the container, else of another
// stream (a time code track); none when no tag holds a time code at the stream's rate.
std::optional<StartTimecode> startTimecode(const AVFormatContext& format, int videoStream);
