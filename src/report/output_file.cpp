#include "report/output_file.h"

#include <cerrno>
#include <cstring>

namespace {

[[noreturn]] void throwWriteError(const std::string& name, int error) {
    // Some libraries report a failed write without setting errno.
    const char* reason = error != 0 ? std::strerror(error) : "write failed";
    throw WriteError("frameprobe: cannot write " + name + ": " + reason);
}

}  // namespace

void OutputFile::fail(int error) const { throwWriteError(name_, error); }

void OutputFile::write(std::string_view text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) fail(errno);
}

void OutputFile::flush() {
    errno = 0;
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) fail(errno);
}

void closeOutput(FILE* stream, const std::string& name) {
    errno = 0;
    const bool failed = std::ferror(stream) != 0;
    if (std::fclose(stream) != 0 || failed) throwWriteError(name, errno);
}
