// The QC gate: conditions over the summary and events that fail the content,
// e.g. "black>0", "freeze.duration>2", "blur.p95>5", "blockiness.mean<0.9".
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

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
};

// Throws QcSyntaxError for a malformed condition or an unknown name.
QcCondition parseQcCondition(std::string_view text);

// The measured value of the condition's subject: absent when an indicator has no values.
std::optional<double> qcValue(const QcCondition& condition, const RunRecord& record);

class QcGate {
public:
    // Throws QcSyntaxError, before any frame is read.
    void add(std::string_view text) { conditions_.push_back(parseQcCondition(text)); }
    bool empty() const { return conditions_.empty(); }
    // Whether a condition reads an indicator's statistics, which need every frame's values.
    bool needsStatistics() const;
    // The conditions that hold, each as "TEXT (NAME = VALUE)", in the order given.
    std::vector<std::string> failures(const RunRecord& record) const;

private:
    std::vector<QcCondition> conditions_;
};
