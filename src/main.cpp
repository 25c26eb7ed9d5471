// frameprobe: no-reference quality indicators for every frame of a video.
#include <string_view>
#include <variant>

#include "cli/options.h"
#include "driver/batch_run.h"
#include "driver/legacy_run.h"
#include "driver/index_run.h"
#include "driver/merge_run.h"
#include "driver/option_run.h"
#include "process/exit_status.h"
#include "process/process_guard.h"
#include "driver/profiles_run.h"
#include "io/program_location.h"
#include "monitor/monitor_run.h"

int main(int argc, char** argv) {
    rememberProgramPath(argv[0]);  // FFmpeg's module is found next to the program
    openClosedStandardDescriptors();
    installStopHandlers();
    if (argc >= 2 && std::string_view(argv[1]) == "merge") return runMerge(argc, argv);
    if (argc >= 2 && std::string_view(argv[1]) == "batch") return runBatch(argc, argv);
    if (argc >= 2 && std::string_view(argv[1]) == "index") return runIndex(argc, argv);
    if (argc >= 2 && std::string_view(argv[1]) == "profiles") return runProfiles(argc, argv);
    if (argc >= 2 && std::string_view(argv[1]) == "monitor") return runMonitor(argc, argv);
    if (!usesOptionForm(argc, argv) && !positionalInputIsSelfDescribing(argc, argv) &&
        !positionalReadsStandardInput(argc, argv))
        return runPositional(argc, argv);
    const bool positional = !usesOptionForm(argc, argv);
    const ParsedOptions parsed = positional ? positionalAsOptions(argc, argv) : parseOptions(argc, argv);
    if (const int* status = std::get_if<int>(&parsed)) return *status;
    const int status = runWithOptions(std::get<RunOptions>(parsed));
    // The positional form fails with one status, whatever its input.
    return positional && (status == kToolFailure || status == kUsageStatus) ? 255 : status;
}
