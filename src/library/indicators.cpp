// The library's version and its names of indicators.
#include "frameprobe/frameprobe.hpp"
#include "indicators/indicator_list.h"
#include "indicators/registry.h"

namespace frameprobe {

static_assert(kIndicatorCount == ::kIndicatorCount && kAllIndicators == ::kAllIndicators);

const char* version() { return FRAMEPROBE_VERSION_STRING; }

const char* indicatorKey(int index) {
    if (index < 0 || index >= kIndicatorCount) return nullptr;
    return indicatorRegistry()[static_cast<std::size_t>(index)].key;
}

uint32_t indicatorMask(std::string_view list) {
    std::string error;
    const auto mask = parseIndicatorList(std::string(list), error);
    if (!mask) throw Error(error);
    return *mask;
}

}  // namespace frameprobe
