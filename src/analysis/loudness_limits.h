// The loudness a delivery asks for: a target with its tolerance and a true-peak ceiling,
// from one of the two presets broadcasters deliver to.
#pragma once

#include <optional>
#include <string_view>

struct LoudnessLimits {
    double target = -23;    // LUFS
    double tolerance = 1;   // LU either side of the target
    double truePeak = -1;   // dBTP, the most allowed
};

// "ebu-r128" (EBU R128: -23 LUFS +-1 LU, -1 dBTP) or "atsc-a85" (ATSC A/85: -24 LKFS +-2 dB,
// -2 dBTP); none for another name.
std::optional<LoudnessLimits> loudnessPreset(std::string_view name);
