// The monitor's Prometheus metrics (prometheus-cpp's registry and text
// format). Every series is made when its channel is, so measuring a frame
// only sets numbers.
#pragma once

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <array>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "indicators/registry.h"
#include "transport/transport_report.h"

class MonitorMetrics;

// The series of one channel.
struct ChannelMetrics {
    std::array<prometheus::Gauge*, kIndicatorCount> value{};  // null for indicators not measured
    std::array<prometheus::Gauge*, kIndicatorCount> mean{};
    prometheus::Counter* measured = nullptr;
    prometheus::Counter* skipped = nullptr;
    prometheus::Gauge* measureEvery = nullptr;
    prometheus::Counter* decodeErrors = nullptr;
    prometheus::Counter* reconnects = nullptr;
    prometheus::Gauge* up = nullptr;
    prometheus::Gauge* analysisFps = nullptr;
    prometheus::Gauge* audioPeak = nullptr;
    prometheus::Gauge* momentary = nullptr;  // EBU R128 loudness of the first audio stream
    prometheus::Gauge* shortTerm = nullptr;
    prometheus::Gauge* truePeak = nullptr;
    std::array<prometheus::Counter*, kTsCheckCount> transportErrors{};  // by transport check
    std::map<std::string, prometheus::Gauge*, std::less<>> active;   // by event type
    std::map<std::string, prometheus::Counter*, std::less<>> raised;  // by event type
};

class MonitorMetrics {
public:
    MonitorMetrics();
    ChannelMetrics& addChannel(const std::string& name, uint32_t mask, const std::vector<std::string_view>& events);
    prometheus::Counter& webhookFailures() { return *webhookFailures_; }
    prometheus::Counter& webhookDeliveries() { return *webhookDeliveries_; }
    // The page served at /metrics.
    std::string text() const;

private:
    std::shared_ptr<prometheus::Registry> registry_;
    prometheus::Family<prometheus::Gauge>& value_;
    prometheus::Family<prometheus::Gauge>& mean_;
    prometheus::Family<prometheus::Counter>& measured_;
    prometheus::Family<prometheus::Counter>& skipped_;
    prometheus::Family<prometheus::Gauge>& measureEvery_;
    prometheus::Family<prometheus::Counter>& decodeErrors_;
    prometheus::Family<prometheus::Counter>& reconnects_;
    prometheus::Family<prometheus::Gauge>& up_;
    prometheus::Family<prometheus::Gauge>& analysisFps_;
    prometheus::Family<prometheus::Gauge>& audioPeak_;
    prometheus::Family<prometheus::Counter>& transportErrors_;
    prometheus::Family<prometheus::Gauge>& momentary_;
    prometheus::Family<prometheus::Gauge>& shortTerm_;
    prometheus::Family<prometheus::Gauge>& truePeak_;
    prometheus::Family<prometheus::Gauge>& active_;
    prometheus::Family<prometheus::Counter>& raised_;
    prometheus::Counter* webhookFailures_;
    prometheus::Counter* webhookDeliveries_;
    std::vector<std::unique_ptr<ChannelMetrics>> channels_;
};
