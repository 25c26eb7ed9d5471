// Values of the option form's number options, read as whole texts: empty,
// non-finite and out-of-range values are refused rather than let through.
#pragma once

#include <optional>
#include <string>

// Frame rates from kMinFrameRate to kMaxFrameRate: below the lowest, a tenth of
// the rate (the still time that makes a freeze) and the frames' times stop
// being numbers.
inline constexpr double kMinFrameRate = 1e-290;
inline constexpr double kMaxFrameRate = 1e9;
std::optional<double> frameRate(const std::string& text);

// A finite number, 0 or more (durations in seconds, thresholds).
std::optional<double> finiteNonNegative(const std::string& text);

// A whole number from `low` to `high`.
std::optional<long long> wholeNumberIn(const std::string& text, long long low, long long high);
