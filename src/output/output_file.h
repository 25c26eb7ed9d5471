// A file that rows are written to. Text is gathered per row and handed to the
// system when the row is whole; every failed write is noticed, and a regular
// file that cannot take a row is cut back to its last whole row, so that it
// never ends in the middle of one.
//
// A regular file given by name is complete or absent: it is written as a
// WholeFile (whole_file.h), which takes its name in close(). Dropped without
// close() (a failed run), the file is discarded and a file that had the name
// before is untouched. Standard output, pipes and devices are written as they come.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "output/whole_file.h"
#include "rows/row_sink.h"

class OutputFile {
public:
    // Starts `path` ("-" is standard output); throws WriteError.
    static OutputFile open(const std::string& path);
    // Creates or empties `path` now and writes it in place, as a stream.
    static OutputFile openInPlace(const std::string& path);
    // Takes a descriptor that is already open; owned ones are closed by close().
    OutputFile(int fd, std::string name, bool owned);
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&&) = delete;
    ~OutputFile();

    const std::string& name() const { return name_; }

    void append(std::string_view text) { pending_.append(text); }
    // printf-style, with the C library's formatting.
    void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Appends one value with a format taken from a table (one conversion).
    void printValue(const char* format, double value);
    void printValue(const char* format, int value);

    // Ends a whole row: writes what was gathered; throws WriteError on failure.
    void commit();
    // Commits, then closes owned descriptors and gives a file given by name its
    // name; throws WriteError (the file is discarded), also when an earlier write
    // of the file failed.
    void close();

private:
    [[noreturn]] void fail(int error);
    [[noreturn]] void failToFinish(int error);

    int fd_;
    std::string name_;
    bool owned_;
    std::string pending_;
    long long committed_ = -1;  // file size after the last whole row, for regular files
    std::optional<WholeFile> whole_;  // a file given by name, which owns the descriptor
    bool failed_ = false;
};

// Whether `path` names a file that is written under a temporary name (a regular
// file, or one that does not exist yet), rather than a stream.
bool writtenWhole(const std::string& path);

// "cannot write NAME: REASON"
std::string writeFailure(const std::string& name, int error);
