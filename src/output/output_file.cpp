#include "output/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <utility>

std::string writeFailure(const std::string& name, int error) {
    return "cannot write " + name + ": " + std::strerror(error);
}

bool writtenWhole(const std::string& path) {
    // Names of descriptors and devices are streams whatever they lead to.
    if (path == "-" || path.starts_with("/dev/") || path.starts_with("/proc/")) return false;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return true;
    return S_ISREG(info.st_mode);
}

OutputFile OutputFile::open(const std::string& path) {
    if (path == "-") return OutputFile(STDOUT_FILENO, "standard output", false);
    if (!writtenWhole(path)) return openInPlace(path);
    WholeFile whole(path);
    OutputFile file(whole.fd(), path, false);
    file.whole_.emplace(std::move(whole));
    return file;
}

OutputFile OutputFile::openInPlace(const std::string& path) {
    if (path == "-") return OutputFile(STDOUT_FILENO, "standard output", false);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) throw WriteError("cannot create " + path + ": " + std::strerror(errno));
    return OutputFile(fd, path, true);
}

OutputFile::OutputFile(int fd, std::string name, bool owned) : fd_(fd), name_(std::move(name)), owned_(owned) {
    struct stat info {};
    if (fstat(fd_, &info) == 0 && S_ISREG(info.st_mode)) committed_ = lseek(fd_, 0, SEEK_CUR);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      name_(std::move(other.name_)),
      owned_(other.owned_),
      pending_(std::move(other.pending_)),
      committed_(other.committed_),
      whole_(std::move(other.whole_)),
      failed_(other.failed_) {}

// A named file not closed whole is discarded with whole_.
OutputFile::~OutputFile() {
    if (fd_ >= 0 && owned_) ::close(fd_);
}

void OutputFile::print(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    const int n = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) return;
    if (static_cast<std::size_t>(n) < sizeof text) {
        pending_.append(text, static_cast<std::size_t>(n));
        return;
    }
    std::string longer(static_cast<std::size_t>(n) + 1, '\0');
    va_start(args, format);
    vsnprintf(longer.data(), longer.size(), format, args);
    va_end(args);
    longer.pop_back();
    pending_ += longer;
}

void OutputFile::printValue(const char* format, double value) {
    char text[512];
    const int n = snprintf(text, sizeof text, format, value);
    if (n > 0) pending_.append(text, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}

void OutputFile::printValue(const char* format, int value) {
    char text[512];
    const int n = snprintf(text, sizeof text, format, value);
    if (n > 0) pending_.append(text, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}

void OutputFile::fail(int error) {
    pending_.clear();
    failed_ = true;
    // Whatever part of the row reached a regular file is taken back.
    if (committed_ >= 0 && ftruncate(fd_, static_cast<off_t>(committed_)) == 0) lseek(fd_, committed_, SEEK_SET);
    throw WriteError(writeFailure(name_, error));
}

void OutputFile::failToFinish(int error) {
    failed_ = true;
    throw WriteError(writeFailure(name_, error));
}

void OutputFile::commit() {
    if (fd_ < 0) return;
    // Text the program printed through the C library goes first.
    if (fd_ == STDOUT_FILENO && fflush(stdout) != 0) fail(errno);
    std::size_t done = 0;
    while (done < pending_.size()) {
        const ssize_t n = ::write(fd_, pending_.data() + done, pending_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
    pending_.clear();
    if (committed_ >= 0) committed_ += static_cast<long long>(done);
}

void OutputFile::close() {
    if (fd_ < 0) return;
    // A file that failed once never takes its name, whatever later calls manage.
    if (failed_) throw WriteError(writeFailure(name_, EIO));
    commit();
    if (whole_) {
        // On failure the file is discarded, and an earlier one keeps its name; its
        // descriptor may be closed already, and is then written no more.
        failed_ = true;
        try {
            whole_->finish();
        } catch (const WriteError&) {
            fd_ = whole_->fd();
            throw;
        }
        failed_ = false;
        fd_ = -1;
        return;
    }
    if (owned_ && ::close(std::exchange(fd_, -1)) != 0) failToFinish(errno);
}
