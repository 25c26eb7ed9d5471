#include "output/legacy_sink.h"

#include <cmath>
#include <limits>
#include <string>

namespace {

void printCells(OutputFile& out, int64_t frame, const std::array<double, kIndicatorCount>& values, bool log) {
    out.print("%05i", static_cast<int>(frame));
    const auto& registry = indicatorRegistry();
    for (std::size_t i = 0; i < registry.size(); ++i) {
        if (!inLegacyTable(registry[i])) continue;
        const LegacyColumn& column = registry[i].column;
        if (column.consoleHeader == nullptr) continue;
        const char* format = log ? column.logFormat : column.consoleFormat;
        if (column.integer)
            out.printValue(format, legacyInteger(values[i]));
        else
            out.printValue(format, values[i]);
    }
    out.append("\n");
}

}  // namespace

int32_t legacyInteger(double value) {
    // Exposure is a mean of samples and always lies in 0..255; anything else is
    // printed as the x86 conversion would give it, never through undefined behaviour.
    if (!(std::fabs(value) < 2147483648.0)) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

LegacySink::LegacySink(OutputFile& console, OutputFile* log, bool logWanted)
    : console_(console), log_(log), logWanted_(logWanted) {}

void LegacySink::begin(const RunInfo& info) {
    console_.print("Video file %s opened successfully!\n\n", info.path.c_str());
    const std::string count = info.frameCount ? std::to_string(*info.frameCount) : "unknown";
    console_.print("Width = %u, Height = %u, FPS = %2.2f, Number of Frames = %s, Start Frame = %lld\n\n",
                   info.width, info.height, info.fps, count.c_str(), static_cast<long long>(info.startFrame));
    if (!info.note.empty()) console_.print("%s\n\n", info.note.c_str());
    console_.append("Frame: ");
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (inLegacyTable(d)) console_.print("\t%s", d.column.consoleHeader);
    console_.append("\n");
    if (log_ == nullptr && logWanted_) console_.append("\n\n Could not create a log file\n\n");
    console_.commit();
    if (log_ == nullptr) return;
    log_->append("Frame: ");
    for (const IndicatorDescriptor& d : indicatorRegistry())
        if (inLegacyTable(d)) log_->print("\t%s", d.column.logHeader);
    log_->append("\n");
    log_->commit();
}

void LegacySink::row(int64_t frame, const Results& values) {
    for (int i = 0; i < kIndicatorCount; ++i)
        if (values.has(i)) shown_[static_cast<std::size_t>(i)] = values[i];
    printCells(console_, frame, shown_, false);
    console_.commit();
    if (log_ == nullptr) return;
    printCells(*log_, frame, shown_, true);
    log_->commit();
}

void LegacySink::end(const RunEnd&) {}
