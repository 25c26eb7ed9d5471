// The kinds a judgement gives: how grave an event type or a condition is, and a run's
// verdict. They are words only where they are written or read (JSON, JUnit, the report).
#pragma once

#include <optional>
#include <string_view>

enum class Severity { Warning, Error };
enum class VerdictStatus { Pass, Warn, Fail };

// "warning" or "error".
constexpr std::string_view severityName(Severity s) { return s == Severity::Error ? "error" : "warning"; }

// The severity of its name; empty for any other word.
constexpr std::optional<Severity> severityNamed(std::string_view name) {
    if (name == "warning") return Severity::Warning;
    if (name == "error") return Severity::Error;
    return std::nullopt;
}

// "pass", "warn" or "fail".
constexpr std::string_view statusName(VerdictStatus s) {
    return s == VerdictStatus::Pass ? "pass" : s == VerdictStatus::Warn ? "warn" : "fail";
}
