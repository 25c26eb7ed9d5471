#include "batch/file_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

pid_t startChild(const std::vector<std::string>& argv, const std::string& errorFile) {
    // Everything the child needs is made before fork(): after it, only calls that are
    // safe in a copy of a process that may have had other threads.
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);  // the batch ended before the line above
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int in = open("/dev/null", O_RDWR);
    const int err = open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || err < 0 || dup2(in, 0) < 0 || dup2(in, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    execv(args[0], args.data());
    const char message[] = "frameprobe: cannot start the program for this file\n";
    if (write(2, message, sizeof message - 1) < 0) _exit(127);
    _exit(127);
}

std::string lastMessage(const std::string& errorFile, std::size_t limit) {
    std::ifstream in(errorFile, std::ios::binary);
    std::string line, last;
    while (std::getline(in, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
    for (const char* prefix : {"frameprobe: "})
        if (last.rfind(prefix, 0) == 0) last.erase(0, std::strlen(prefix));
    if (last.size() > limit) last = last.substr(0, limit) + "...";
    return last;
}

std::string describeWaitStatus(int status) {
    if (WIFEXITED(status)) return "status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const char* name = sigdescr_np(WTERMSIG(status));
        return "killed by signal " + std::to_string(WTERMSIG(status)) + (name ? std::string(" (") + name + ")" : "");
    }
    return "ended with wait status " + std::to_string(status);
}
