// Writes to an output stream that notice every failure.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "report/row_sink.h"

// A stream the caller opened and closes, and the name that messages give it.
class OutputFile {
public:
    OutputFile(FILE* stream, std::string name) : stream_(stream), name_(std::move(name)) {}
    // Both throw WriteError naming the file and the system's reason.
    void write(std::string_view text);
    void flush();
    const std::string& name() const { return name_; }

private:
    [[noreturn]] void fail(int error) const;
    FILE* stream_;
    std::string name_;
};

// Closes the stream, throwing WriteError when the last buffered bytes could not be written.
void closeOutput(FILE* stream, const std::string& name);
