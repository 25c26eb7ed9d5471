#include "analysis/run_record.h"

#include <cmath>
#include <limits>

#include "indicators/registry.h"

RunRecord::RunRecord(EventOptions options) : options_(options), detector_(25, 0, std::move(options)) {}

void RunRecord::begin(const RunInfo& info) {
    info_ = info;
    detector_ = EventDetector(info.fps, info.mask, options_, info.origin);
    frames_.clear();
    values_.clear();
    frameCount_ = 0;
    end_.reset();
}

void RunRecord::row(int64_t frame, const Results& values) {
    ++frameCount_;
    detector_.feed(frame, values);
    if (!keepRows_) return;
    frames_.push_back(frame);
    for (int i = 0; i < kIndicatorCount; ++i)
        values_.push_back(meaningfulValue(values, i).value_or(std::numeric_limits<double>::quiet_NaN()));
}

void RunRecord::end(const RunEnd& end) { end_ = end; }

bool RunRecord::requested(int indicator) const {
    return isRequested(indicatorRegistry()[static_cast<std::size_t>(indicator)], info_.mask);
}

Statistics RunRecord::statistics(int indicator) const {
    std::vector<FrameValue> present;
    if (requested(indicator)) {
        for (std::size_t f = 0; f < frames_.size(); ++f) {
            const double v = values_[f * kIndicatorCount + static_cast<std::size_t>(indicator)];
            if (!std::isnan(v)) present.push_back({frames_[f], v});
        }
    }
    return computeStatistics(present, indicatorRegistry()[static_cast<std::size_t>(indicator)].worse);
}

std::vector<Event> RunRecord::events() const { return detector_.events(); }
