#include "driver/output_check.h"

#include <cstdio>

#include "output/output_plan.h"
#include "process/exit_status.h"

bool writesLog(const RunOptions& o) { return o.format->writesLog && o.log.has_value(); }

std::optional<int> refuseBadOutputs(const RunOptions& o) {
    if (o.logGiven && o.log && !writesLog(o))
        fprintf(stderr, "frameprobe: warning: --log is written with --format legacy only; no log is written\n");
    std::vector<PlannedOutput> outputs{{"--output", o.output}};
    // The default log that cannot be written is said in the table, as in the positional form.
    if (writesLog(o)) outputs.push_back({o.logGiven ? "--log" : "the log", *o.log, !o.logGiven});
    if (o.report) outputs.push_back({"--report", *o.report});
    if (o.junit) outputs.push_back({"--junit", *o.junit});
    if (o.snapshots) outputs.push_back({"--snapshots", *o.snapshots, false, true});
    const auto problem = checkOutputPlan(o.input, outputs);
    if (!problem) return std::nullopt;
    fprintf(stderr, "frameprobe: %s\n", problem->message.c_str());
    return problem->kind == OutputPlanProblem::Conflict ? kUsageStatus : kToolFailure;
}
