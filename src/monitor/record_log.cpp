#include "monitor/record_log.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "rows/row_sink.h"

RecordLog::RecordLog(std::string path) : path_(std::move(path)) {
    if (!openFile()) throw WriteError("cannot open " + path_ + ": " + strerror(errno));
}

RecordLog::~RecordLog() {
    if (file_ != nullptr && file_ != stdout) fclose(file_);
}

bool RecordLog::openFile() {
    if (path_ == "-") {
        file_ = stdout;
        return true;
    }
    // Appended to, so that a restart or a reopen keeps the records already written.
    file_ = fopen(path_.c_str(), "a");
    return file_ != nullptr;
}

bool RecordLog::write(const std::string& record) {
    std::lock_guard lock(mutex_);
    const std::string line = record + "\n";
    const bool written =
        file_ != nullptr && fwrite(line.data(), 1, line.size(), file_) == line.size() && fflush(file_) == 0;
    if (!written && !failing_) fprintf(stderr, "frameprobe: cannot write to %s: %s\n", path_.c_str(), strerror(errno));
    failing_ = !written;
    return written;
}

void RecordLog::reopen() {
    std::lock_guard lock(mutex_);
    if (path_ == "-") return;
    if (file_ != nullptr) fclose(file_);
    if (!openFile()) fprintf(stderr, "frameprobe: cannot reopen %s: %s\n", path_.c_str(), strerror(errno));
}

std::string utcNow() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t n = strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(millis));
    return text;
}
