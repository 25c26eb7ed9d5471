#include "driver/command_line.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "pipeline/thread_limit.h"

#ifdef __APPLE__
#define FRAMEPROBE_VIDEO_PARAMETER "video.yuv"
#else
#define FRAMEPROBE_VIDEO_PARAMETER "nameOfTheMovie.yuv"
#endif

std::optional<CommandLine> splitCommandLine(int argc, char** argv) {
    if (argc < 4) return std::nullopt;
    CommandLine line;
    line.videoPath = argv[1];
    line.width = argv[2];
    line.height = argv[3];
    if (argc >= 5) line.requestedVQIs = argv[4];
    if (argc >= 6) line.fps = argv[5];
    if (argc >= 7) line.numberOfFrames = argv[6];
    if (argc >= 8) line.startFrame = argv[7];
    return line;
}

void printUsage(const char* programName) {
    puts("Not enough parameters\n");
    printf("Usage: %s " FRAMEPROBE_VIDEO_PARAMETER
           " WIDTH HEIGHT [RequestedVQIs] [FPS] [NumberOfFrames] [startFrame],\n"
           "where parameters in square brackets are optional.\n\n",
           programName);
}

int32_t parseInt32(const char* text) {
    return static_cast<int32_t>(static_cast<uint32_t>(std::strtol(text, nullptr, 10)));
}

namespace {

bool refuse(const char* name, const char* text) {
    printf("Invalid %s %s: the value does not fit 32 bits\n", name, text);
    return false;
}

}  // namespace

bool fitsInt32(const char* name, const char* text) {
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    if (errno == ERANGE || value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
        return refuse(name, text);
    return true;
}

bool fitsMask(const char* text) {
    const char* digits = text;
    while (std::isspace(static_cast<unsigned char>(*digits))) ++digits;
    if (*digits == '-' || *digits == '+') ++digits;
    errno = 0;
    const unsigned long long magnitude = std::strtoull(digits, nullptr, 0);
    if (errno == ERANGE || magnitude > 0xFFFFFFFFull) return refuse("RequestedVQIs", text);
    return true;
}

uint32_t parseMask(const char* text) { return static_cast<uint32_t>(std::strtoul(text, nullptr, 0)); }

double parseFps(const char* text) { return std::strtod(text, nullptr); }

std::optional<FrameGeometry> checkGeometry(int32_t width, int32_t height) {
    if (width < 1) {
        printf("Invalid WIDTH %d: the frame width must be at least 1\n", width);
        return std::nullopt;
    }
    if (height < 1) {
        printf("Invalid HEIGHT %d: the frame height must be at least 1\n", height);
        return std::nullopt;
    }
    // Both sizes are below 2^31, so three times their product fits 64 unsigned bits.
    const uint64_t frameSize = 3 * uint64_t(width) * uint64_t(height) / 2;
    if (frameSize > uint64_t{std::numeric_limits<int32_t>::max()}) {
        printf("Invalid frame size %dx%d: a frame of %llu bytes exceeds %d bytes\n", width, height,
               static_cast<unsigned long long>(frameSize), std::numeric_limits<int32_t>::max());
        return std::nullopt;
    }
    return FrameGeometry{width, height, width * height, static_cast<int32_t>(frameSize)};
}

std::optional<unsigned> threadCountFromEnvironment(FILE* messages) {
    const char* text = std::getenv("FRAMEPROBE_THREADS");
    if (text == nullptr || *text == '\0') return 0u;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < 1 || value > static_cast<long>(kMaxThreads)) {
        fprintf(messages, "%sInvalid FRAMEPROBE_THREADS \"%s\": expected a whole number from 1 to %u\n",
                messages == stderr ? "frameprobe: " : "", text, kMaxThreads);
        return std::nullopt;
    }
    return static_cast<unsigned>(value);
}

unsigned windowFromEnvironment() {
    const char* text = std::getenv("FRAMEPROBE_WINDOW");
    if (text == nullptr) return 0;
    const long value = std::strtol(text, nullptr, 10);
    return value > 0 && value <= 4096 ? static_cast<unsigned>(value) : 0;
}
