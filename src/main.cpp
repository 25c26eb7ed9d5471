// frameprobe: no-reference quality indicators for every frame of a video.
#include "driver/legacy_run.h"
#include "driver/process_guard.h"

int main(int argc, char** argv) {
    openClosedStandardDescriptors();
    installStopHandlers();
    return runPositional(argc, argv);
}
