// Exact, locale-independent text for numbers and JSON strings.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// The shortest text that reads back to the same double ("0.1", "5e-324").
// Only for finite values.
std::string shortestNumber(double value);

// A JSON number, or null when there is no value or it is not finite (JSON has no NaN or infinity).
std::string jsonNumberOr(std::optional<double> value);

// A quoted JSON string. Control bytes are escaped; a byte that is not part of a
// valid UTF-8 sequence becomes U+FFFD, so the document is always valid UTF-8.
std::string jsonString(std::string_view text);

// The text with each byte that is not part of a valid UTF-8 sequence replaced by U+FFFD.
std::string validUtf8(std::string_view text);

// The parts one after the other. (Chains of + on temporaries trip a false
// -Wrestrict warning of GCC 12 at -O3.)
std::string joined(std::initializer_list<std::string_view> parts);

// Six significant digits, for people: enough to read and to plot; the machine
// formats carry the exact values.
std::string readableNumber(double value);
