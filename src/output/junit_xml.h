// The verdict as JUnit XML, so CI systems show it: one test suite for the input, one
// test case per condition and per event type; a warning is a passed case with output, or
// a failure when it fails the run (`strict`). The suite carries the run's wall time and,
// when given, its start (`timestamp`, local time without a zone, as JUnit's schema has it).
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/qc_gate.h"

class RunRecord;

std::string junitXml(const RunRecord& record, const std::optional<Verdict>& verdict, bool strict = false,
                     std::string_view timestamp = {});
// "2026-12-10T14:30:27" in the machine's local time.
std::string junitTimestamp(std::time_t when);
// The file is whole or absent, an earlier one left as it was; throws WriteError.
void writeJunitFile(const std::string& path, const RunRecord& record, const std::optional<Verdict>& verdict,
                    bool strict = false);
