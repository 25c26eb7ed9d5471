// QC profiles: event rules and conditions in a TOML file that travels between people
// and machines. `frameprobe profiles show NAME` prints one, ready to copy and edit.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/events.h"
#include "analysis/loudness_limits.h"

// The newest profile schema this program reads.
inline constexpr int kProfileSchema = 1;

// A profile that cannot be used; the message names the file, line, column and key.
struct ProfileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct ProfileCondition {
    std::string expression;  // as --fail-on takes it
    Severity severity = Severity::Error;
};

struct Profile {
    int schema = kProfileSchema;
    std::string name;
    std::string version;
    std::string description;
    EventOptions events;  // only the types and settings the file gives
    std::vector<ProfileCondition> conditions;
    // The [loudness] table, which the monitor's loudness alarms follow too, and the severity
    // of its conditions.
    std::optional<LoudnessLimits> loudness;
    std::optional<Severity> loudnessSeverity;
};

// Throws ProfileError; `origin` names the text in messages (its file).
Profile parseProfile(std::string_view text, const std::string& origin);
Profile loadProfileFile(const std::filesystem::path& file);
