// The files a run is about to write, checked together before any of them is
// opened: none may be the input, no two may be one file, and each must be
// writable where it goes, so that a bad path stops the run before an earlier
// result is touched or a frame is measured.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct PlannedOutput {
    std::string option;  // how the command line named it, e.g. "--output"
    std::string path;    // "-" is standard output
    bool optional = false;  // the run goes on without it when it cannot be written
    bool folder = false;    // a folder the run makes when missing and writes files into
};

struct OutputPlanProblem {
    enum Kind { Conflict, Unwritable } kind;  // a conflict is a command-line mistake
    std::string message;
};

// `input` is "-" for standard input. Streams (standard output, pipes, devices)
// may be shared; files written by name may not.
std::optional<OutputPlanProblem> checkOutputPlan(const std::string& input, const std::vector<PlannedOutput>& outputs);
