// The summary for people: per requested indicator its range, mean, p95 and
// worst frame, then the events.
#pragma once

#include "output/output_file.h"
#include <string>

class RunRecord;

std::string summaryText(const RunRecord& record);
// Throws WriteError naming `name` when the text cannot be written.
void writeSummary(OutputFile& out, const RunRecord& record);
