#include "analysis/loudness_limits.h"

std::optional<LoudnessLimits> loudnessPreset(std::string_view name) {
    if (name == "ebu-r128") return LoudnessLimits{-23, 1, -1};
    if (name == "atsc-a85") return LoudnessLimits{-24, 2, -2};
    return std::nullopt;
}
