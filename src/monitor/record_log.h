// The monitor's records (JSON Lines) on standard output or in a file that
// SIGHUP reopens, so that log rotation can move it away. Each record is one
// whole line written at once, from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

class RecordLog {
public:
    // `path` "-" is standard output. Throws WriteError when the file cannot be opened.
    explicit RecordLog(std::string path);
    ~RecordLog();
    RecordLog(const RecordLog&) = delete;
    RecordLog& operator=(const RecordLog&) = delete;

    // Writes one record (a JSON object without its newline); false when the write failed,
    // which is reported on standard error once per failing stretch.
    bool write(const std::string& record);
    // Closes and opens the file again (at the same name, appending).
    void reopen();

private:
    bool openFile();
    std::string path_;
    std::mutex mutex_;
    FILE* file_ = nullptr;
    bool failing_ = false;
};

// The current wall-clock time as UTC ISO 8601 with milliseconds, e.g. 2026-01-31T12:00:00.250Z.
std::string utcNow();
