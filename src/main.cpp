// frameprobe: no-reference quality indicators for every frame of a raw YUV 4:2:0 video.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

#include "driver/command_line.h"
#include "driver/frame_reader.h"
#include "driver/report.h"
#include "driver/scheduler.h"
#include "indicators/registry.h"
#include "tools/image.h"

namespace {

constexpr int kFailure = -1;

int outOfMemory(const char* what) {
    printf("Could not allocate memory for %s\n", what);
    return kFailure;
}

// The buffers the run keeps from start to end.
struct RunBuffers {
    Image current{};
    Image previous{};
    TemporalState temporal{};
    ~RunBuffers() {
        freeImage(&current);
        freeImage(&previous);
        freeImage(&temporal.flickering.counts);
        freeImage(&temporal.flickering.states);
    }
};

bool allocated(const Image& image) { return image.data != nullptr || image.w * image.h == 0; }

int run(int argc, char** argv) {
    const auto line = splitCommandLine(argc, argv);
    if (!line) {
        printUsage(argv[0]);
        return kFailure;
    }
    const auto threads = threadCountFromEnvironment();
    if (!threads) return kFailure;

    FILE* video = fopen(line->videoPath, "r");
    // Left open to process exit, which flushes and closes it also after an error.
    FILE* log = fopen(kLogFileName, "w");

    const auto geometry = checkGeometry(parseInt32(line->width), parseInt32(line->height));
    if (!geometry) return kFailure;
    const int32_t width = geometry->width;
    const int32_t height = geometry->height;

    RunBuffers buffers;
    FlickeringState& flicker = buffers.temporal.flickering;
    flicker.counts = callocImage(static_cast<uint32_t>(width) >> 3, static_cast<uint32_t>(height) >> 3);
    flicker.states = callocImage(flicker.counts.w, flicker.counts.h);
    if (!allocated(flicker.counts) || !allocated(flicker.states)) return outOfMemory("the flickering blocks");

    if (video == nullptr) {
        perror("Error opening file.\n\n");
        return kFailure;
    }

    // Zero-filled, so a range that starts past the end of the file measures zeros.
    buffers.current = callocImage(width, height);
    buffers.previous = callocImage(width, height);
    if (!allocated(buffers.current) || !allocated(buffers.previous)) return outOfMemory("the frame buffers");

    const uint32_t requestedVQIs = line->requestedVQIs ? parseMask(line->requestedVQIs) : 0xFFFFFFFFu;
    const double fps = line->fps ? parseFps(line->fps) : DEFAULT_FPS;
    int32_t numberOfFrames = 0;
    if (line->numberOfFrames) {
        numberOfFrames = parseInt32(line->numberOfFrames);
    } else {
        const int64_t length = fileLength(video);
        if (length < 0) {
            printf("Could not measure the length of %s: %s\n", line->videoPath, strerror(errno));
            return kFailure;
        }
        numberOfFrames = static_cast<int32_t>(length / geometry->frameSize);
    }
    const int32_t startFrame = line->startFrame ? parseInt32(line->startFrame) : 0;
    if (startFrame < 0) {
        printf("Invalid startFrame %d: the first frame of the file is frame 0\n", startFrame);
        return kFailure;
    }

    printBanner(line->videoPath, width, height, fps, numberOfFrames, startFrame);
    printConsoleHeader();
    if (log != nullptr)
        writeLogHeader(log);
    else
        puts("\n\n Could not create a log file\n");

    FrameScheduler scheduler(requestedVQIs, *threads);
    FrameValues values;
    // Frame indices are 32-bit; a range reaching past the last one ends there.
    const int64_t endFrame = std::min<int64_t>(int64_t{startFrame} + numberOfFrames, int64_t{INT32_MAX} + 1);
    for (int64_t i = startFrame; i < endFrame; ++i) {
        const int32_t index = static_cast<int32_t>(i);
        const LumaRead read = readLuma(video, i * geometry->frameSize, buffers.current);
        if (read.failed) {
            const int error = errno;
            printf("Some error occurred when reading the %d frame\n", index);
            printf("Byte read = %d, Frame size = %d\n\n", static_cast<int>(read.bytesRead), geometry->lumaSize);
            printf("Error code: %d \n", error);
            printf("Error description: %s \n", strerror(error));
            return kFailure;
        }
        scheduler.measure(buffers.current, buffers.previous, i > startFrame, fps, buffers.temporal, values);
        printConsoleRow(index, values);
        if (log != nullptr) writeLogRow(log, index, values);
        std::swap(buffers.current.data, buffers.previous.data);
    }

    fclose(video);
    puts("\nFile stream closed\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return outOfMemory("a working plane");
    }
}
