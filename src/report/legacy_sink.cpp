#include "report/legacy_sink.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

void printCell(FILE* out, const char* format, bool integer, double value) {
    if (integer)
        fprintf(out, format, legacyInteger(value));
    else
        fprintf(out, format, value);
}

}  // namespace

int32_t legacyInteger(double value) {
    // Exposure is a mean of samples and always lies in 0..255; anything else is
    // printed as the x86 conversion would give it, never through undefined behaviour.
    if (!(std::fabs(value) < 2147483648.0)) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

LegacySink::LegacySink(FILE* log, const char* logName) : log_(log), logName_(logName) {}

void LegacySink::begin(const RunInfo& info) {
    printf("Video file %s opened successfully!\n\n", info.path.c_str());
    const std::string count = info.frameCount ? std::to_string(*info.frameCount) : "unknown";
    printf("Width = %u, Height = %u, FPS = %2.2f, Number of Frames = %s, Start Frame = %lld\n\n", info.width,
           info.height, info.fps, count.c_str(), static_cast<long long>(info.startFrame));
    fputs("Frame: ", stdout);
    for (const IndicatorDescriptor& d : indicatorRegistry()) printf("\t%s", d.column.consoleHeader);
    putchar('\n');
    if (log_ == nullptr) {
        puts("\n\n Could not create a log file\n");
        return;
    }
    fputs("Frame: ", log_);
    for (const IndicatorDescriptor& d : indicatorRegistry()) fprintf(log_, "\t%s", d.column.logHeader);
    fputc('\n', log_);
}

void LegacySink::row(int64_t frame, const Results& values) {
    for (int i = 0; i < kIndicatorCount; ++i)
        if (values.has(i)) shown_[static_cast<std::size_t>(i)] = values[i];
    const auto& registry = indicatorRegistry();
    const int index = static_cast<int>(frame);
    printf("%05i", index);
    for (std::size_t i = 0; i < registry.size(); ++i)
        printCell(stdout, registry[i].column.consoleFormat, registry[i].column.integer, shown_[i]);
    putchar('\n');
    if (log_ == nullptr) return;
    fprintf(log_, "%05i", index);
    for (std::size_t i = 0; i < registry.size(); ++i)
        printCell(log_, registry[i].column.logFormat, registry[i].column.integer, shown_[i]);
    fputc('\n', log_);
}

void LegacySink::end(const RunEnd&) {}
