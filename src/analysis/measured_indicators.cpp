#include "analysis/measured_indicators.h"

#include <string_view>

#include "detectors/detections.h"
#include "indicators/registry.h"

namespace {

// The indicator whose events have this type, or whose request has them judged, if any.
const IndicatorDescriptor* indicatorOfEvent(std::string_view type) {
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (d.event.type != nullptr && type == d.event.type) return &d;
    for (const DetectionType& d : kDetectionTypes)
        if (type == d.type && d.judgedWith != nullptr)
            if (const auto index = findIndicator(d.judgedWith))
                return &indicatorRegistry()[static_cast<std::size_t>(*index)];
    return nullptr;
}

const IndicatorDescriptor* indicatorNamed(const std::string& subject) {
    if (const auto index = findIndicator(subject.c_str()))
        return &indicatorRegistry()[static_cast<std::size_t>(*index)];
    return indicatorOfEvent(subject);
}

class Builder {
public:
    explicit Builder(uint32_t requested) { result_.mask = requested; }
    // Adds every bit of `bits` not yet measured, as added by `by`.
    void add(uint32_t bits, const std::string& by) {
        for (const IndicatorDescriptor& d : indicatorRegistry()) {
            if ((bits & d.maskBit) == 0 || (result_.mask & d.maskBit) != 0) continue;
            result_.mask |= d.maskBit;
            result_.addedBy.emplace(d.key, by);
        }
    }
    // Until nothing changes: what each measured indicator needs, reads and is reported with.
    void complete() {
        for (uint32_t before = 0; before != result_.mask;) {
            before = result_.mask;
            for (const IndicatorDescriptor& d : indicatorRegistry()) {
                if ((result_.mask & d.maskBit) == 0) continue;
                add(d.requiredMask | d.readsMask, d.key);
                if (d.event.exceptDuring != nullptr)
                    if (const IndicatorDescriptor* other = indicatorOfEvent(d.event.exceptDuring))
                        add(other->requiredMask, d.key);
            }
        }
    }
    MeasuredIndicators done() { return std::move(result_); }

private:
    MeasuredIndicators result_;
};

}  // namespace

MeasuredIndicators measuredIndicators(uint32_t requested,
                                      const std::vector<std::pair<std::string, std::string>>& named) {
    // Every bit set (the default, or a mask of -1) asks for "all"; indicators beyond it are named.
    Builder builder(requested == 0xFFFFFFFFu ? kAllIndicators : requested & kEveryIndicator);
    builder.complete();
    for (const auto& [subject, source] : named)
        if (const IndicatorDescriptor* d = indicatorNamed(subject)) builder.add(d->maskBit, source);
    builder.complete();
    return builder.done();
}
