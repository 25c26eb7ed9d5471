#include "analysis/qc_gate.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <sstream>
#include <tuple>

#include "indicators/registry.h"
#include "analysis/run_record.h"
#include "rows/text_format.h"

namespace {

struct Operator {
    std::string_view symbol;
    Comparison comparison;
};

// Two-character operators first, so that "<=" is not read as "<".
constexpr Operator kOperators[] = {{"<=", Comparison::LessEqual}, {">=", Comparison::GreaterEqual},
                                   {"==", Comparison::Equal},     {"!=", Comparison::NotEqual},
                                   {"<", Comparison::Less},       {">", Comparison::Greater}};

constexpr std::string_view kEventMeasures[] = {"count", "duration", "total"};

// The frames the decoder dropped or rejected.
constexpr std::string_view kDecodeErrors = "decode_errors";
// The loudness of the audio streams: holds when it holds for any of them.
constexpr std::string_view kLoudness = "loudness";

std::string_view trimmed(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

[[noreturn]] void refuse(std::string_view text, const std::string& why) {
    throw QcSyntaxError("invalid --fail-on condition \"" + std::string(text) + "\": " + why);
}

std::string choices(std::span<const std::string_view> names) {
    std::string out;
    for (std::string_view n : names) out += (out.empty() ? "" : ", ") + std::string(n);
    return out;
}

// The number in the C locale, whatever the user's; all of it must be a finite number.
std::optional<double> parseNumber(std::string_view text) {
    std::istringstream in{std::string(text)};
    in.imbue(std::locale::classic());
    double value = 0;
    if (!(in >> value) || !std::isfinite(value)) return std::nullopt;
    in >> std::ws;
    return in.eof() ? std::optional(value) : std::nullopt;
}

bool holds(double value, Comparison c, double limit) {
    switch (c) {
        case Comparison::Less: return value < limit;
        case Comparison::LessEqual: return value <= limit;
        case Comparison::Greater: return value > limit;
        case Comparison::GreaterEqual: return value >= limit;
        case Comparison::Equal: return value == limit;
        case Comparison::NotEqual: return value != limit;
    }
    return false;
}

// The transport check of this name (e.g. "continuity_count_error").
std::optional<TsCheck> transportCheck(std::string_view name) {
    for (int i = 0; i < kTsCheckCount; ++i)
        if (kTsCheckNames[static_cast<std::size_t>(i)] == name) return static_cast<TsCheck>(i);
    return std::nullopt;
}

// "black.count", or the subject alone for one without measures (decode_errors).
std::string nameOf(const QcCondition& c) { return c.measure.empty() ? c.subject : c.subject + "." + c.measure; }

}  // namespace

QcCondition parseQcCondition(std::string_view text) {
    QcCondition c;
    c.text = std::string(text);
    std::size_t at = std::string_view::npos;
    const Operator* found = nullptr;
    for (const Operator& op : kOperators) {
        const std::size_t pos = text.find(op.symbol);
        // The leftmost operator wins; at equal positions the longer one, listed first.
        if (pos != std::string_view::npos && (found == nullptr || pos < at)) {
            at = pos;
            found = &op;
        }
    }
    if (found == nullptr) refuse(text, "expected NAME OPERATOR NUMBER with one of < <= > >= == !=");
    c.comparison = found->comparison;

    const std::string_view name = trimmed(text.substr(0, at));
    const std::string_view number = trimmed(text.substr(at + found->symbol.size()));
    if (name.empty()) refuse(text, "a name is missing before the operator");
    const auto limit = parseNumber(number);
    if (!limit) refuse(text, "\"" + std::string(number) + "\" is not a finite number");
    c.limit = *limit;

    const std::size_t dot = name.find('.');
    c.subject = std::string(name.substr(0, dot));
    c.measure = dot == std::string_view::npos ? "" : std::string(name.substr(dot + 1));

    if (c.subject == kDecodeErrors) {
        if (!c.measure.empty()) refuse(text, "decode_errors is a number of frames and has no ." + c.measure);
        return c;
    }
    if (c.subject == kLoudness) {
        if (c.measure != "integrated" && c.measure != "range" && c.measure != "true_peak")
            refuse(text, "loudness has .integrated, .range and .true_peak, not ." + c.measure);
        return c;
    }
    if (transportCheck(c.subject)) {
        if (!c.measure.empty()) refuse(text, c.subject + " is a number of transport errors and has no ." + c.measure);
        return c;
    }
    const auto types = eventTypes();
    if (std::find(types.begin(), types.end(), c.subject) != types.end()) {
        c.isEvent = true;
        if (c.measure.empty()) c.measure = "count";
        if (std::find(std::begin(kEventMeasures), std::end(kEventMeasures), c.measure) == std::end(kEventMeasures))
            refuse(text, "events have .count, .duration (the longest) and .total (summed), not ." + c.measure);
        return c;
    }
    const auto indicator = findIndicator(c.subject.c_str());
    if (!indicator || indicatorRegistry()[static_cast<std::size_t>(*indicator)].key != c.subject) {
        std::string keys;
        for (const IndicatorDescriptor& d : indicatorRegistry())
            keys += (keys.empty() ? "" : ", ") + std::string(d.key);
        refuse(text, "unknown name \"" + c.subject + "\"; use an indicator (" + keys + "), an event type (" +
                         choices(types) + "), decode_errors or a transport check (e.g. continuity_count_error)");
    }
    if (std::find(std::begin(kStatisticNames), std::end(kStatisticNames), c.measure) == std::end(kStatisticNames))
        refuse(text, "an indicator needs one of the statistics " + choices(kStatisticNames) + ", e.g. " + c.subject +
                         ".p95");
    return c;
}

std::optional<double> qcValue(const QcCondition& c, const RunRecord& record) {
    if (c.subject == kDecodeErrors) return static_cast<double>(record.decodeErrors());
    if (const auto check = transportCheck(c.subject)) return static_cast<double>(record.transportErrors(*check));
    if (c.subject == kLoudness) {
        // The audio stream that meets the condition most: the lowest for < and <=, else the highest.
        const bool lowest = c.comparison == Comparison::Less || c.comparison == Comparison::LessEqual;
        std::optional<double> found;
        if (record.runEnd())
            for (const AudioLoudness& a : record.runEnd()->audio) {
                const std::optional<double> v = c.measure == "integrated" ? a.integrated
                                                : c.measure == "range"    ? a.range
                                                                          : a.truePeak;
                if (v && (!found || (lowest ? *v < *found : *v > *found))) found = v;
            }
        return found;
    }
    if (!c.isEvent) {
        const auto indicator = findIndicator(c.subject.c_str());
        return indicator ? statistic(record.statistics(*indicator), c.measure) : std::nullopt;
    }
    double count = 0, longest = 0, total = 0;
    for (const Event& e : record.events()) {
        if (e.type != c.subject) continue;
        ++count;
        longest = std::max(longest, e.duration);
        total += e.duration;
    }
    if (c.measure == "duration") return longest;
    if (c.measure == "total") return secondsRoundedToNanoseconds(total);
    return count;
}

bool QcGate::needsStatistics() const {
    for (const QcCondition& c : conditions_)
        if (!c.isEvent) return true;
    return false;
}

void QcGate::add(std::string_view text, Severity severity, std::string source) {
    QcCondition c = parseQcCondition(text);
    c.severity = severity;
    c.source = std::move(source);
    conditions_.push_back(std::move(c));
}

void QcGate::setProfile(std::string name, std::string version) {
    profile_.emplace(std::move(name), std::move(version));
}

std::string FrameCounts::shortfall() const {
    if (measured == 0 && (!expected || *expected == 0)) return "measured 0 frames";
    if (expected && measured < *expected)
        return "measured " + std::to_string(measured) + " of " + std::to_string(*expected) + " frames";
    return {};
}

Verdict QcGate::verdict(const RunRecord& record, const FrameCounts& frames) const {
    Verdict v;
    if (profile_) std::tie(v.profile, v.profileVersion) = *profile_;
    const std::vector<Event> events = record.events();
    auto eventsOf = [&events](std::string_view type) {
        std::vector<Event> found;
        for (const Event& e : events)
            if (e.type == type) found.push_back(e);
        return found;
    };
    for (const QcCondition& c : conditions_) {
        const auto value = qcValue(c, record);
        if (!value || !holds(*value, c.comparison, c.limit)) continue;
        v.findings.push_back({"condition", c.text, nameOf(c), value, c.severity, c.source,
                              c.isEvent ? eventsOf(c.subject) : std::vector<Event>{}});
    }
    if (profile_) {
        for (std::string_view type : eventTypes()) {
            std::vector<Event> found = eventsOf(type);
            if (found.empty()) continue;
            const Severity severity = found.front().severity;
            const double count = static_cast<double>(found.size());
            v.findings.push_back({"event", std::string(type), std::string(type) + ".count", count, severity,
                                  "profile " + profile_->first, std::move(found)});
        }
    }
    if (const std::string shortfall = frames.shortfall(); !shortfall.empty())
        v.findings.push_back(
            {"frames", shortfall, "", static_cast<double>(frames.measured), Severity::Error, "run", {}});
    v.status = VerdictStatus::Pass;
    for (const VerdictFinding& f : v.findings) {
        if (f.severity == Severity::Error)
            v.status = VerdictStatus::Fail;
        else if (v.status == VerdictStatus::Pass)
            v.status = VerdictStatus::Warn;
    }
    return v;
}

std::string findingText(const VerdictFinding& f) {
    if (f.kind == "frames") return f.text;
    const std::string value = f.value ? shortestNumber(*f.value) : "null";
    if (f.kind == "event") return f.text + " events (" + f.name + " = " + value + ")";
    return f.text + " (" + f.name + " = " + value + ")";
}

std::vector<std::string> QcGate::failures(const RunRecord& record) const {
    std::vector<std::string> failed;
    for (const QcCondition& c : conditions_) {
        const auto value = qcValue(c, record);
        // A statistic of no values is absent, and a condition on it does not hold.
        if (value && holds(*value, c.comparison, c.limit))
            failed.push_back(c.text + " (" + nameOf(c) + " = " + shortestNumber(*value) + ")");
    }
    return failed;
}
