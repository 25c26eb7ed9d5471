// How the option form judges a run: the profile, the --fail-on conditions, the event
// options, and the indicators those name, set up before any frame; and the verdict
// told on standard error and as the exit status after the run.
#pragma once

#include <string>
#include <vector>

#include "analysis/events.h"
#include "analysis/measured_indicators.h"
#include "analysis/qc_gate.h"
#include "cli/options.h"

class RunRecord;

struct RunJudgement {
    QcGate gate;
    EventOptions events;
    MeasuredIndicators measured;  // the mask to run and what was added to it
};

// Throws QcSyntaxError or ProfileError (status 2) before any frame is read.
RunJudgement prepareJudgement(const RunOptions& o);

// After a complete run: says on standard error when fewer frames were measured than
// expected and which findings make the verdict, writes --junit, and gives the exit status
// (0, or 3 on fail, and on warn with --strict). Throws WriteError when --junit cannot be written.
int concludeJudgement(const RunOptions& o, const RunRecord& record);

// Each finding of a verdict on standard error, one line each after `program` ("frameprobe: QC failed: ...").
void printFindings(const Verdict& verdict, const char* program);
