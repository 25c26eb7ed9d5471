#include "cli/option_values.h"

#include <cerrno>
#include <cctype>
#include <cmath>
#include <cstdlib>

namespace {

// The whole text as a finite number; strtod's leading blanks, "nan", "inf" and
// values beyond the double range are refused.
std::optional<double> finiteNumber(const std::string& text) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value) || (errno == ERANGE && std::fabs(value) > 1)) return std::nullopt;
    return value;
}

}  // namespace

std::optional<double> frameRate(const std::string& text) {
    const auto value = finiteNumber(text);
    if (!value || *value < kMinFrameRate || *value > kMaxFrameRate) return std::nullopt;
    return value;
}

std::optional<double> finiteNonNegative(const std::string& text) {
    const auto value = finiteNumber(text);
    if (!value || *value < 0) return std::nullopt;
    return value;
}

std::optional<long long> wholeNumberIn(const std::string& text, long long low, long long high) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return std::nullopt;
    return value;
}
