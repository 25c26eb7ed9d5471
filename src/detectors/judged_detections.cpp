#include "detectors/judged_detections.h"

#include "detectors/detections.h"
#include "indicators/registry.h"

uint32_t judgedDetections(uint32_t indicatorMask) {
    uint32_t judged = 0;
    for (int d = 0; d < kDetectionCount; ++d) {
        const char* key = kDetectionTypes[static_cast<std::size_t>(d)].judgedWith;
        const std::optional<int> indicator = key ? findIndicator(key) : std::nullopt;
        if (key == nullptr ||
            (indicator && isRequested(indicatorRegistry()[static_cast<std::size_t>(*indicator)], indicatorMask)))
            judged |= 1u << d;
    }
    return judged;
}
