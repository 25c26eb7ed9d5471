#include "indicators/registry.h"
#include "driver/legacy_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

#include "driver/command_line.h"
#include "process/exit_status.h"
#include "process/process_guard.h"
#include "indicators/registry.h"
#include "output/legacy_sink.h"
#include "output/output_plan.h"
#include "run/run_input.h"
#include "run/run_step.h"
#include "tools/frame_rate.h"

namespace {

constexpr int kFailure = -1;

int outOfMemory(const char* what) {
    printf("Could not allocate memory for %s\n", what);
    return kFailure;
}

int64_t fileLength(FILE* video) {
    struct stat status {};
    // A directory opens for reading on some systems, and its "length" is no byte count.
    if (fstat(fileno(video), &status) == 0 && S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return -1;
    }
    if (fseeko(video, 0, SEEK_END) != 0) return -1;
    return static_cast<int64_t>(ftello(video));
}

// The log is emptied before the video is read, so a video that is the log would be lost.
// The log is emptied at the start: a video of its name would be lost with it, and a table
// appended to the video would be read back.
bool anOutputIsTheVideo(const char* videoPath) {
    struct stat status {};
    if (stat(videoPath, &status) != 0) return false;  // a missing video is reported as such
    // The table's problem comes first, when both have one.
    const auto problem = checkOutputPlan(videoPath, {{"the table", "-"}, {"the log", kLogFileName, true}});
    if (!problem || problem->kind != OutputPlanProblem::Conflict) return false;
    // Messages of this form go to standard output, unless that is the video.
    if (problem->message.starts_with("the table"))
        fprintf(stderr, "frameprobe: %s\n", problem->message.c_str());
    else
        printf("%s\n", problem->message.c_str());
    return true;
}

int reportReadFailure(const EngineOutcome& outcome, int32_t lumaSize) {
    const int error = outcome.failure.error;
    printf("Some error occurred when reading the %d frame\n", static_cast<int>(*outcome.failedFrame));
    printf("Byte read = %d, Frame size = %d\n\n", static_cast<int>(outcome.failure.bytesRead), lumaSize);
    printf("Error code: %d \n", error);
    printf("Error description: %s \n", strerror(error));
    return kFailure;
}

int run(int argc, char** argv) {
    const auto line = splitCommandLine(argc, argv);
    if (!line) {
        printUsage(argv[0]);
        fputs("Run 'frameprobe --help' for the options.\n", stderr);  // standard output keeps the usage alone
        return kFailure;
    }
    const auto threads = threadCountFromEnvironment();
    if (!threads) return kFailure;
    if (anOutputIsTheVideo(line->videoPath)) return kFailure;
    FILE* video = fopen(line->videoPath, "r");
    const int openError = errno;
    // The log is emptied at the start of every run, even one that stops at a bad size.
    const int logFd = open(kLogFileName, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    std::optional<OutputFile> log;
    if (logFd >= 0) log.emplace(logFd, kLogFileName, true);

    if (!fitsInt32("WIDTH", line->width) || !fitsInt32("HEIGHT", line->height)) return kFailure;
    const auto geometry = checkGeometry(parseInt32(line->width), parseInt32(line->height));
    if (!geometry) return kFailure;
    const auto width = static_cast<uint32_t>(geometry->width);
    const auto height = static_cast<uint32_t>(geometry->height);

    if (video == nullptr) {
        errno = openError;
        perror("Error opening file.\n\n");
        return kFailure;
    }

    if (line->requestedVQIs && !fitsMask(line->requestedVQIs)) return kFailure;
    if (line->numberOfFrames && !fitsInt32("NumberOfFrames", line->numberOfFrames)) return kFailure;
    if (line->startFrame && !fitsInt32("startFrame", line->startFrame)) return kFailure;
    const uint32_t requestedVQIs = line->requestedVQIs ? parseMask(line->requestedVQIs) : 0xFFFFFFFFu;
    const double fps = line->fps ? parseFps(line->fps) : kDefaultFps;
    int32_t numberOfFrames = 0;
    if (line->numberOfFrames) {
        numberOfFrames = parseInt32(line->numberOfFrames);
    } else {
        const int64_t length = fileLength(video);
        if (length < 0) {
            printf("Could not measure the length of %s: %s\n", line->videoPath, strerror(errno));
            return kFailure;
        }
        const int64_t frames = length / geometry->frameSize;
        if (frames > std::numeric_limits<int32_t>::max()) {
            printf("%s holds %lld frames, more than frame numbers can count (%d)\n", line->videoPath,
                   static_cast<long long>(frames), std::numeric_limits<int32_t>::max());
            return kFailure;
        }
        numberOfFrames = static_cast<int32_t>(frames);
    }
    const int32_t startFrame = line->startFrame ? parseInt32(line->startFrame) : 0;
    if (startFrame < 0) {
        printf("Invalid startFrame %d: the first frame of the file is frame 0\n", startFrame);
        return kFailure;
    }

    // Offsets count from the start of the file, whatever measuring its length left.
    fseeko(video, 0, SEEK_SET);
    InputRequest input{line->videoPath, width, height, -1, numberOfFrames};
    input.rawOnly = true;
    input.file = video;
    auto opened = openRunInput(input);
    if (auto* error = std::get_if<std::string>(&opened)) {
        printf("%s\n", error->c_str());
        return kFailure;
    }
    FrameSource& source = *std::get<OpenedInput>(opened).source;
    RunSettings settings;
    settings.path = line->videoPath;
    settings.mask = requestedVQIs & kAllIndicators;  // the table shows the luma indicators alone
    settings.fps = fps;
    settings.start = startFrame;
    settings.frames = numberOfFrames;
    settings.threads = *threads;
    settings.window = windowFromEnvironment();
    std::optional<RunStep> step;
    try {
        step.emplace(settings, source);
    } catch (const std::bad_alloc&) {
        return outOfMemory("the frame buffers");
    }

    OutputFile console(STDOUT_FILENO, "standard output", false);
    LegacySink sink(console, log ? &*log : nullptr);
    try {
        EngineOutcome outcome = step->run(sink, &stopRequested()).engine;
        // A signal that came while a read waited ends the input early (a pipe's writer
        // stopped by the same Ctrl-C): the run was interrupted, not complete.
        outcome.interrupted = outcome.interrupted || stopRequested().load();
        if (outcome.failedFrame) return reportReadFailure(outcome, geometry->lumaSize);
        sink.end(RunEnd{outcome.rows, 0, outcome.interrupted});
        if (log) log->close();
        if (outcome.interrupted) return statusForSignal(stopSignal());
        fclose(video);
        puts("\nFile stream closed\n");
        if (fflush(stdout) != 0) throw WriteError(writeFailure("standard output", errno));
    } catch (const WriteError& e) {
        fprintf(stderr, "frameprobe: %s\n", e.what());
        return kFailure;
    }
    return 0;
}

}  // namespace

int runPositional(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return outOfMemory("a working plane");
    }
}

bool positionalInputIsSelfDescribing(int argc, char** argv) {
    const auto line = splitCommandLine(argc, argv);
    if (!line) return false;
    struct stat status {};
    // Only a regular file can be looked at without taking bytes from the run.
    if (stat(line->videoPath, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    FILE* file = fopen(line->videoPath, "rb");
    if (file == nullptr) return false;
    char magic[10] = {};
    const bool y4m = fread(magic, 1, sizeof magic, file) == sizeof magic && std::memcmp(magic, "YUV4MPEG2 ", 10) == 0;
    fclose(file);
    return y4m;
}

bool positionalReadsStandardInput(int argc, char** argv) {
    const auto line = splitCommandLine(argc, argv);
    return line && std::strcmp(line->videoPath, "-") == 0;
}

ParsedOptions positionalAsOptions(int argc, char** argv) {
    const CommandLine line = *splitCommandLine(argc, argv);
    RunOptions o;
    o.input = line.videoPath;
    // The values are refused as the raw form refuses them, rather than cut to 32 bits.
    if (!fitsInt32("WIDTH", line.width) || !fitsInt32("HEIGHT", line.height)) return kFailure & 0xFF;
    const auto geometry = checkGeometry(parseInt32(line.width), parseInt32(line.height));
    if (!geometry) return kFailure & 0xFF;
    o.width = static_cast<uint32_t>(geometry->width);
    o.height = static_cast<uint32_t>(geometry->height);
    if ((line.requestedVQIs && !fitsMask(line.requestedVQIs)) ||
        (line.numberOfFrames && !fitsInt32("NumberOfFrames", line.numberOfFrames)) ||
        (line.startFrame && !fitsInt32("startFrame", line.startFrame)))
        return kFailure & 0xFF;
    if (line.requestedVQIs) o.mask = parseMask(line.requestedVQIs) & kAllIndicators;
    if (line.fps) o.fps = parseFps(line.fps);
    if (line.numberOfFrames) o.frames = std::max(0, parseInt32(line.numberOfFrames));
    if (line.startFrame) {
        o.start = parseInt32(line.startFrame);
        if (o.start < 0) {
            printf("Invalid startFrame %d: the first frame of the file is frame 0\n", static_cast<int>(o.start));
            return kFailure & 0xFF;
        }
    }
    o.log = kLogFileName;
    o.logInPlace = true;
    o.maskAsGiven = true;
    return o;
}
