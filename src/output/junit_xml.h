// The verdict as JUnit XML, so CI systems show it: one test suite for the input, one
// test case per condition and per event type; a warning is a passed case with output, or
// a failure when it fails the run (`strict`).
#pragma once

#include <optional>
#include <string>

#include "analysis/qc_gate.h"

class RunRecord;

std::string junitXml(const RunRecord& record, const std::optional<Verdict>& verdict, bool strict = false);
// The file is whole or absent, an earlier one left as it was; throws WriteError.
void writeJunitFile(const std::string& path, const RunRecord& record, const std::optional<Verdict>& verdict,
                    bool strict = false);
