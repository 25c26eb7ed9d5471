#include "indicators/registry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

std::optional<int> findIndicator(const char* keyOrName) {
    for (int i = 0; i < kIndicatorCount; ++i) {
        const IndicatorDescriptor& d = indicatorRegistry()[static_cast<std::size_t>(i)];
        if (std::strcmp(d.key, keyOrName) == 0 || std::strcmp(d.name, keyOrName) == 0) return i;
    }
    return std::nullopt;
}

std::optional<double> meaningfulValue(const Results& frame, int index) {
    if (!frame.has(index)) return std::nullopt;
    const double v = frame[index];
    if (!std::isfinite(v)) return std::nullopt;
    const auto& noValue = indicatorRegistry()[static_cast<std::size_t>(index)].noValue;
    if (noValue && v == *noValue) return std::nullopt;
    return v;
}

int64_t warmUpStart(uint32_t mask, int64_t start, int64_t origin, double fps) {
    if (start <= origin) return origin;
    int64_t first = start;
    for (const IndicatorDescriptor& d : indicatorRegistry()) {
        if (d.kind != IndicatorKind::Temporal || !isRequested(d, mask)) continue;
        first = std::min(first, start - std::max<int64_t>(0, d.framesBefore(fps, start, origin)));
    }
    return std::max(first, origin);
}

bool readsPlanes(uint32_t mask) {
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (isRequested(d, mask) && d.reads == Reads::Planes) return true;
    return false;
}
