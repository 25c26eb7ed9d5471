// The library's version and its names of indicators and severities.
#include "frameprobe/frameprobe.hpp"
#include "analysis/measured_indicators.h"
#include "indicators/indicator_list.h"
#include "indicators/registry.h"
#include "library/conversions.h"

namespace frameprobe {

const char* version() { return FRAMEPROBE_VERSION_STRING; }

int versionNumber() { return FRAMEPROBE_VERSION_NUMBER; }

int indicatorCount() { return kIndicatorCount; }

const char* severityName(Severity severity) { return severity == Severity::Error ? "error" : "warning"; }

const char* indicatorKey(int index) {
    if (index < 0 || index >= kIndicatorCount) return nullptr;
    return indicatorRegistry()[static_cast<std::size_t>(index)].key;
}

std::optional<int> indicatorIndex(std::string_view key) { return findIndicator(std::string(key).c_str()); }

std::vector<std::string> indicatorKeys(std::string_view list) { return detail::keysOf(detail::indicatorMask(list)); }

namespace detail {

uint32_t indicatorMask(std::string_view list) {
    std::string error;
    const auto mask = parseIndicatorList(std::string(list), error);
    if (!mask) throw Error(error);
    // What the command line measures for the same list: what each needs or reads too.
    return measuredIndicators(*mask, {}).mask;
}

std::vector<std::string> keysOf(uint32_t mask) {
    std::vector<std::string> keys;
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (isRequested(d, mask)) keys.emplace_back(d.key);
    return keys;
}

}  // namespace detail

}  // namespace frameprobe
