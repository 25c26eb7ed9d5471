#include "monitor/metrics.h"

#include <prometheus/text_serializer.h>

#include <limits>

#include "indicators/registry.h"

namespace {

template <typename Builder>
auto& family(Builder builder, const char* name, const char* help, prometheus::Registry& registry) {
    return builder.Name(name).Help(help).Register(registry);
}

}  // namespace

MonitorMetrics::MonitorMetrics()
    : registry_(std::make_shared<prometheus::Registry>()),
      value_(family(prometheus::BuildGauge(), "frameprobe_indicator_value",
                    "Last value of an indicator on a channel", *registry_)),
      mean_(family(prometheus::BuildGauge(), "frameprobe_indicator_mean",
                   "Moving mean of an indicator over about the last 10 seconds of measured frames", *registry_)),
      measured_(family(prometheus::BuildCounter(), "frameprobe_frames_measured_total", "Frames measured", *registry_)),
      skipped_(family(prometheus::BuildCounter(), "frameprobe_frames_skipped_total",
                      "Frames decoded but not measured because the analysis could not keep up", *registry_)),
      measureEvery_(family(prometheus::BuildGauge(), "frameprobe_measure_every",
                           "1 when every frame is measured, N when every Nth frame is", *registry_)),
      decodeErrors_(family(prometheus::BuildCounter(), "frameprobe_decode_errors_total",
                           "Packets the decoders refused", *registry_)),
      reconnects_(family(prometheus::BuildCounter(), "frameprobe_reconnects_total",
                         "Times the input was opened again after it was lost", *registry_)),
      up_(family(prometheus::BuildGauge(), "frameprobe_up", "1 while the channel's input is open", *registry_)),
      analysisFps_(family(prometheus::BuildGauge(), "frameprobe_analysis_frames_per_second",
                          "Frames per second the analysis of the channel could measure", *registry_)),
      audioPeak_(family(prometheus::BuildGauge(), "frameprobe_audio_peak_dbfs",
                        "Peak level of the first audio stream over the last measured frame", *registry_)),
      transportErrors_(family(prometheus::BuildCounter(), "frameprobe_transport_errors_total",
                              "Errors of each transport check (TR 101 290 priorities 1 and 2) on an MPEG-TS input",
                              *registry_)),
      momentary_(family(prometheus::BuildGauge(), "frameprobe_loudness_momentary_lufs",
                        "Momentary loudness (400 ms, EBU R128) of the first audio stream", *registry_)),
      shortTerm_(family(prometheus::BuildGauge(), "frameprobe_loudness_shortterm_lufs",
                        "Short-term loudness (3 s, EBU R128) of the first audio stream", *registry_)),
      truePeak_(family(prometheus::BuildGauge(), "frameprobe_audio_true_peak_dbtp",
                       "True peak of the first audio stream over the last measured frame", *registry_)),
      active_(family(prometheus::BuildGauge(), "frameprobe_alarm_active", "1 while an alarm is raised", *registry_)),
      raised_(family(prometheus::BuildCounter(), "frameprobe_alarms_raised_total", "Alarms raised", *registry_)) {
    auto& failures = family(prometheus::BuildCounter(), "frameprobe_webhook_failures_total",
                            "Alarm records the webhook could not deliver", *registry_);
    auto& deliveries = family(prometheus::BuildCounter(), "frameprobe_webhook_deliveries_total",
                              "Alarm records the webhook delivered", *registry_);
    webhookFailures_ = &failures.Add({});
    webhookDeliveries_ = &deliveries.Add({});
}

ChannelMetrics& MonitorMetrics::addChannel(const std::string& name, uint32_t mask,
                                           const std::vector<std::string_view>& events) {
    auto channel = std::make_unique<ChannelMetrics>();
    const prometheus::Labels labels{{"channel", name}};
    for (int i = 0; i < kIndicatorCount; ++i) {
        const IndicatorDescriptor& d = indicatorRegistry()[static_cast<std::size_t>(i)];
        if (!isRequested(d, mask)) continue;
        channel->value[static_cast<std::size_t>(i)] = &value_.Add({{"channel", name}, {"indicator", d.key}});
        channel->mean[static_cast<std::size_t>(i)] = &mean_.Add({{"channel", name}, {"indicator", d.key}});
    }
    channel->measured = &measured_.Add(labels);
    channel->skipped = &skipped_.Add(labels);
    channel->measureEvery = &measureEvery_.Add(labels);
    channel->measureEvery->Set(1);
    channel->decodeErrors = &decodeErrors_.Add(labels);
    channel->reconnects = &reconnects_.Add(labels);
    channel->up = &up_.Add(labels);
    channel->analysisFps = &analysisFps_.Add(labels);
    channel->audioPeak = &audioPeak_.Add(labels);
    channel->momentary = &momentary_.Add(labels);
    channel->shortTerm = &shortTerm_.Add(labels);
    channel->truePeak = &truePeak_.Add(labels);
    for (prometheus::Gauge* g : {channel->momentary, channel->shortTerm, channel->truePeak})
        g->Set(std::numeric_limits<double>::quiet_NaN());
    for (int i = 0; i < kTsCheckCount; ++i)
        if (static_cast<TsCheck>(i) != TsCheck::PcrAccuracyError)  // not measured
            channel->transportErrors[static_cast<std::size_t>(i)] = &transportErrors_.Add(
                {{"channel", name}, {"check", std::string(kTsCheckNames[static_cast<std::size_t>(i)])}});
    for (std::string_view event : events) {
        const std::string type(event);
        channel->active[type] = &active_.Add({{"channel", name}, {"event", type}});
        channel->raised[type] = &raised_.Add({{"channel", name}, {"event", type}});
    }
    channels_.push_back(std::move(channel));
    return *channels_.back();
}

std::string MonitorMetrics::text() const { return prometheus::TextSerializer().Serialize(registry_->Collect()); }
