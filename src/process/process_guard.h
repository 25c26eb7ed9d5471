// Process-wide settings of a run: standard descriptors, and the signals that
// end a run after its current frame.
#pragma once

#include <atomic>

// Opens /dev/null on any of descriptors 0-2 that is closed, so that no file the
// run opens takes the place of a standard stream.
void openClosedStandardDescriptors();

// SIGINT and SIGTERM set the stop flag, and the run ends after its current
// frame, completing its outputs; further ones are ignored meanwhile. SIGPIPE is ignored: a closed pipe shows as a
// failed write instead.
void installStopHandlers();
const std::atomic<bool>& stopRequested();
// The signal that asked the run to stop, 0 when none did.
int stopSignal();
