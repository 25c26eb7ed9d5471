// Reads the luma plane of one frame of a raw YUV 4:2:0 file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "tools/image.h"

struct LumaRead {
    bool failed;       // the stream's error indicator was set
    size_t bytesRead;  // fewer than the plane at the end of the file
};

// Seeks to `offset` and reads frame.w * frame.h bytes into the frame. A short
// read leaves the bytes it did not reach as they were.
LumaRead readLuma(FILE* video, int64_t offset, Image& frame);

// Length of the file in bytes; the stream's position is left at its end.
int64_t fileLength(FILE* video);
