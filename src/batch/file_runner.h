// Runs of the program on one file each, as child processes: a file that crashes its
// run, or takes all its memory, costs that file only. Each child dies with the batch
// (SIGKILL included), so that no run goes on writing after the batch ended.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Starts `argv[0]` with `argv`, standard input and output on /dev/null and standard
// error into `errorFile`; returns its process id, or -1 with errno set.
pid_t startChild(const std::vector<std::string>& argv, const std::string& errorFile);

// The last line of a child's standard error, without the program's prefix, at most
// `limit` bytes: the message that says why its run failed.
std::string lastMessage(const std::string& errorFile, std::size_t limit = 1000);

// "status N", or "killed by signal N (NAME)", from a wait status.
std::string describeWaitStatus(int status);
