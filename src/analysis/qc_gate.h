// The QC gate: conditions over the summary and events that fail the content,
// e.g. "black>0", "freeze.duration>2", "blur.p95>5", "blockiness.mean<0.9".
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/events.h"

class RunRecord;

// A condition that cannot be understood; the message says why.
struct QcSyntaxError : std::invalid_argument {
    using std::invalid_argument::invalid_argument;
};

enum class Comparison { Less, LessEqual, Greater, GreaterEqual, Equal, NotEqual };

struct QcCondition {
    std::string text;     // as given
    std::string subject;  // an indicator key or an event type
    std::string measure;  // a statistic, or for events "count", "duration" or "total"
    bool isEvent = false;
    Comparison comparison = Comparison::Greater;
    double limit = 0;
    Severity severity = Severity::Error;
    std::string source = "--fail-on";  // where it was given: "--fail-on" or "profile NAME"
};

// A reason the verdict is not a pass: a condition that held, an event type with events of
// its severity (profiles only), or frames the run set out to measure and did not.
struct VerdictFinding {
    std::string kind;  // "condition", "event" or "frames"
    std::string text;  // the condition as given, the event type, or "measured 0 of 50 frames"
    std::string name;  // "black.count", "blur.p95"; empty for frames
    std::optional<double> value;
    Severity severity = Severity::Error;
    std::string source;         // "--fail-on", "profile NAME", or "run"
    std::vector<Event> events;  // the events behind it
};

struct Verdict {
    std::string profile;  // empty when none was given
    std::string profileVersion;
    VerdictStatus status = VerdictStatus::Pass;
    std::vector<VerdictFinding> findings;  // conditions in the order given, then event types, then frames
    bool failed() const { return status == VerdictStatus::Fail; }
};

// Frames a run set out to measure (when known) and measured.
struct FrameCounts {
    std::optional<int64_t> expected;
    int64_t measured = 0;
    // "measured 3 of 50 frames" or "measured 0 frames" when short; empty otherwise.
    std::string shortfall() const;
};

// Throws QcSyntaxError for a malformed condition or an unknown name.
QcCondition parseQcCondition(std::string_view text);

// The measured value of the condition's subject: absent when an indicator has no values.
std::optional<double> qcValue(const QcCondition& condition, const RunRecord& record);

class QcGate {
public:
    // Throws QcSyntaxError, before any frame is read.
    void add(std::string_view text, Severity severity = Severity::Error, std::string source = "--fail-on");
    // A profile judges the events too, by their types' severities.
    void setProfile(std::string name, std::string version);
    // Whether anything is judged: a condition or a profile.
    bool empty() const { return conditions_.empty() && !profile_; }
    const std::vector<QcCondition>& conditions() const { return conditions_; }
    // Whether a condition reads an indicator's statistics, which need every frame's values.
    bool needsStatistics() const;
    // The conditions that hold, each as "TEXT (NAME = VALUE)", in the order given.
    std::vector<std::string> failures(const RunRecord& record) const;
    Verdict verdict(const RunRecord& record, const FrameCounts& frames) const;

private:
    std::vector<QcCondition> conditions_;
    std::optional<std::pair<std::string, std::string>> profile_;
};

// One line per finding for standard error, "TEXT (NAME = VALUE)" and the like.
std::string findingText(const VerdictFinding& finding);
