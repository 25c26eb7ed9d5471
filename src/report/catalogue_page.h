// The catalogue: one self-contained page listing the runs of many result files,
// the failed ones first, with the table also as a CSV download.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// An indicator's most extreme value in its worse direction, and the first frame with it.
struct WorstValue {
    double value = 0;
    int64_t frame = 0;
};

struct CatalogueFinding {
    std::string severity;  // "error" or "warning"
    std::string text;      // "black>0 (black.count = 1)"
};

struct CatalogueEntry {
    std::string result;            // the result file, as given
    std::string input;             // the file that was measured
    std::string status;            // "pass", "warn", "fail", or empty when not judged
    int errors = 0;                // findings of severity error
    int warnings = 0;              // findings of severity warning
    std::vector<CatalogueFinding> findings;  // in the verdict's order
    int64_t frames = 0;
    std::optional<double> seconds;  // frames at the input's frame rate, when known
    int width = 0;
    int height = 0;
    bool interrupted = false;
    std::map<std::string, int> events;  // count by event type
    std::map<std::string, WorstValue> worst;  // by indicator key, for those measured with a value
    std::optional<double> worstR103;  // the largest EBU R103 share of any frame, luma or RGB, when measured
    std::string report;            // address of the report from the page; empty when there is none
};

// Failed runs first, then warned, passed and unjudged; within each, more error
// findings, then more events, first; then by result file.
void sortByFailures(std::vector<CatalogueEntry>& entries);

// A header line and a line per entry, in the given order: the worst values as
// "worst_KEY" columns after the event counts, the findings' texts last. A worst
// value is given only where it means a defect: not for flags, nor for indicators
// that describe the content, nor for an event type's indicator without its events.
std::string catalogueCsv(const std::vector<CatalogueEntry>& entries);

// The whole page, in the given order. Event counts share one column, long texts wrap,
// and the worst values' columns hide when the table would not fit the window.
std::string cataloguePage(const std::vector<CatalogueEntry>& entries);
