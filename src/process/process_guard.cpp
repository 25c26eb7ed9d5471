#include "process/process_guard.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "io/stream_reader.h"

namespace {

std::atomic<bool> stopFlag{false};
volatile std::sig_atomic_t receivedSignal = 0;

// The first signal asks the run to stop; later ones are ignored while it
// completes its documents: `timeout` signals the process and then its group,
// and an end at the second copy would cut a document in the middle.
extern "C" void onStopSignal(int signal) {
    if (receivedSignal == 0) receivedSignal = signal;
    stopFlag.store(true);
}

}  // namespace

void openClosedStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open() takes the lowest free descriptor, which is this one.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) close(opened);
    }
}

void installStopHandlers() {
    static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    // Reads go on after the signal (a pipe that has nothing to give stops being waited for).
    // SIGQUIT and SIGKILL still end a run at once.
    action.sa_flags = SA_RESTART;
    // One handler at a time, so that the first signal is the one recorded.
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
    // Reads restart after a signal: a pipe's writer that stalled must not hold the run.
    ByteStream::stopWaitingWhen(&stopFlag);
}

const std::atomic<bool>& stopRequested() { return stopFlag; }

int stopSignal() { return receivedSignal; }
