// Command line of the program and the run settings derived from it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

inline constexpr const char* kLogFileName = "metricsResultsCSV.csv";

// Positional parameters, after the program name.
struct CommandLine {
    const char* videoPath = nullptr;
    const char* width = nullptr;
    const char* height = nullptr;
    const char* requestedVQIs = nullptr;
    const char* fps = nullptr;
    const char* numberOfFrames = nullptr;
    const char* startFrame = nullptr;
};

// Null when there are too few parameters. Parameters after the seventh are ignored.
std::optional<CommandLine> splitCommandLine(int argc, char** argv);

void printUsage(const char* programName);

// Standard conversions: trailing text is ignored, text that is not a number gives 0,
// and results are cut to 32 bits.
int32_t parseInt32(const char* text);

// Whether the number a parameter starts with can be cut to 32 bits without
// losing it: a signed value for the sizes and frame numbers, a value of at
// most 32 bits (either sign) for the mask. Otherwise prints
// "Invalid NAME TEXT: the value does not fit 32 bits".
bool fitsInt32(const char* name, const char* text);
bool fitsMask(const char* text);
uint32_t parseMask(const char* text);
double parseFps(const char* text);

struct FrameGeometry {
    int32_t width;
    int32_t height;
    int32_t lumaSize;   // W * H
    int32_t frameSize;  // 3 * W * H / 2, truncated
};

// Refuses sizes below 1 and frames too large for 32-bit sizes, with a message.
std::optional<FrameGeometry> checkGeometry(int32_t width, int32_t height);

// Worker threads from FRAMEPROBE_THREADS: 0 means the hardware's count; null when
// the variable is set to something that is not a positive whole number, said on
// `messages`: standard output in the positional form, standard error in the option form.
std::optional<unsigned> threadCountFromEnvironment(FILE* messages = stdout);

// Frames measured together, from FRAMEPROBE_WINDOW (for tests and tuning); 0 lets the engine choose.
unsigned windowFromEnvironment();
