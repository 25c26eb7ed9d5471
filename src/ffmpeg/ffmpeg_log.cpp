#include "ffmpeg/ffmpeg_log.h"

#include <algorithm>
#include <atomic>
#include <iterator>
#include <cstdio>
#include <mutex>
#include <utility>

extern "C" {
#include <libavutil/log.h>
}

namespace {

constexpr int kShownLines = 5;

enum class Mode { Quiet, Summary, Whole };
std::atomic<Mode> mode{Mode::Summary};
thread_local long warnings = 0;
std::atomic<bool> summaryHeld{false};
std::atomic<int> wholeLevel{AV_LOG_WARNING};  // under Mode::Whole, the last level shown

std::mutex logMutex;
int shownLines = 0;
long omittedLines = 0;
bool lineOpen = false;  // the last message shown did not end its line

// Warnings and errors, the first few whole lines only; decoders repeat themselves on every damaged packet.
void summary(void* object, int level, const char* format, va_list args) {
    char line[1024];
    std::lock_guard lock(logMutex);
    static int prefixed = 1;  // whether the next line starts with its context, as FFmpeg keeps it
    av_log_format_line(object, level, format, args, line, sizeof line, &prefixed);
    if (line[0] == '\0') return;
    const bool endsLine = line[std::char_traits<char>::length(line) - 1] == '\n';
    if (shownLines < kShownLines || lineOpen) {
        fputs(line, stderr);
        if (endsLine) ++shownLines;
        lineOpen = !endsLine;
    } else if (endsLine) {
        ++omittedLines;
    }
}

void callback(void* object, int level, const char* format, va_list args) {
    if (level <= AV_LOG_DEBUG) ++warnings;
    if (mode == Mode::Whole && level <= wholeLevel) av_log_default_callback(object, level, format, args);
    else if (mode == Mode::Summary && level <= AV_LOG_WARNING && !summaryHeld) summary(object, level, format, args);
}

}  // namespace

bool setFfmpegLog(const std::string& level) {
    static const std::pair<const char*, int> kLevels[] = {
        {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL}, {"error", AV_LOG_ERROR},
        {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},   {"verbose", AV_LOG_VERBOSE},
        {"debug", AV_LOG_DEBUG},     {"trace", AV_LOG_TRACE}};
    // Messages down to debug are always asked for, even when none is shown: a demuxer tells of
    // the damage it passes over (a transport stream's continuity errors) at that level.
    int shown = AV_LOG_WARNING;
    Mode chosen = level == "quiet" ? Mode::Quiet : Mode::Summary;
    if (level != "quiet" && level != "summary") {
        const auto* found = std::find_if(std::begin(kLevels), std::end(kLevels),
                                         [&](const auto& entry) { return level == entry.first; });
        if (found == std::end(kLevels)) return false;
        chosen = Mode::Whole;
        shown = found->second;
    }
    mode = chosen;
    av_log_set_level(std::max(shown, AV_LOG_DEBUG));
    wholeLevel = shown;
    av_log_set_callback(callback);
    return true;
}

void finishFfmpegLog() {
    std::lock_guard lock(logMutex);
    if (omittedLines > 0)
        fprintf(stderr,
                "frameprobe: %ld more messages from FFmpeg's libraries left out (--ffmpeg-log warning shows them)\n",
                omittedLines);
    omittedLines = 0;
}

long ffmpegMessagesOnThisThread() { return warnings; }

void holdFfmpegSummary(bool held) { summaryHeld = held; }
