// Which decoded pixel formats are read as they are and which are converted, and to what:
// the rules that both the stream's description and the copy of each frame follow.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/pixfmt.h>
}

#include "io/picture.h"

struct AVCodecParameters;

// The luma component when it can be read as it is: YUV or grey samples of 8 to 16 bits, planar or packed.
const AVComponentDescriptor* directLuma(const AVPixFmtDescriptor* desc);

// Whether the planes of `desc` can be handed out as the decoder gives them: planar YUV or grey of
// 8 to 16 bits in the machine's order, each sample in the low bits of its own byte or 16-bit word.
bool directPlanes(const AVPixFmtDescriptor* desc);

// The planar YUV (or grey) format of the same depth and chroma layout that other formats are
// converted to; RGB and paletted pictures become 4:4:4. Fills in `picture`'s layout.
AVPixelFormat planarTarget(const AVPixFmtDescriptor* desc, PictureFormat& picture);

// What the stream says of its pictures, by FFmpeg's names.
PictureFormat describePictures(const AVCodecParameters& video);
