// Deterministic synthetic YUV 4:2:0 clips, optionally carrying the defects the
// indicators look for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SampleDefect {
    std::string name;  // see sampleDefectNames()
    int32_t first = 0; // frames first..last carry the defect
    int32_t last = INT32_MAX;
};

struct SampleSpec {
    int32_t width = 352;
    int32_t height = 288;
    int32_t frames = 10;
    std::vector<SampleDefect> defects;
};

const std::vector<std::string>& sampleDefectNames();

// Luma plane of frame `index` (width * height bytes).
std::vector<uint8_t> sampleLuma(const SampleSpec& spec, int32_t index);

// Writes every frame, luma then two neutral chroma planes; false on a write error.
// A path ending in ".y4m" gets a Y4M file (25 fps, 4:2:0), any other raw YUV.
bool writeSampleVideo(const SampleSpec& spec, const std::string& path);
