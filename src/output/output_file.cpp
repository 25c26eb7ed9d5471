#include "output/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
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

namespace {

// Where a link to a file not made yet leads (through links to links), so that the
// file is made there and the link stays, as a shell's redirection does; `path`
// itself when it is no link.
std::string danglingLinkTarget(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path at(path);
    for (int hops = 0; hops < 40 && fs::is_symlink(at, error); ++hops) {
        const fs::path next = fs::read_symlink(at, error);
        if (error) break;
        at = next.is_absolute() ? next : at.parent_path() / next;
    }
    return at.string();
}

// Hidden, so that a pattern such as *.json never takes it for a result.
std::string hiddenName(const std::string& name) { return "." + name + ".XXXXXX"; }

std::string descriptorPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// An unnamed file in `folder` that linkat() can give a name through /proc; -1
// where the system or the file system has no such files (the caller then
// writes under a hidden name).
int openUnnamed(const std::string& folder) {
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (access(descriptorPath(fd).c_str(), F_OK) == 0) return fd;
    ::close(fd);
#else
    (void)folder;
#endif
    return -1;
}

}  // namespace

OutputFile OutputFile::open(const std::string& path) {
    if (path == "-") return OutputFile(STDOUT_FILENO, "standard output", false);
    if (!writtenWhole(path)) return openInPlace(path);
    // A link is followed: the file it leads to is replaced, the link stays.
    std::string target = path;
    if (char* real = realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    } else {
        target = danglingLinkTarget(path);
    }
    const std::filesystem::path final(target);
    const std::filesystem::path folder = final.has_parent_path() ? final.parent_path() : ".";
    // The file gets the mode it had, or the one a new file would get.
    struct stat before {};
    mode_t mode = 0;
    if (::stat(target.c_str(), &before) == 0) {
        mode = before.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (const int fd = openUnnamed(folder.string()); fd >= 0) {
        fchmod(fd, mode);
        OutputFile file(fd, path, true);
        file.unnamed_ = true;
        file.target_ = std::move(target);
        return file;
    }
    std::string temporary = (folder / hiddenName(final.filename().string())).string();
    const int fd = mkstemp(temporary.data());
    if (fd < 0) throw WriteError("cannot create " + path + ": " + std::strerror(errno));
    fchmod(fd, mode);
    OutputFile file(fd, path, true);
    file.temporary_ = std::move(temporary);
    file.target_ = std::move(target);
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
      temporary_(std::exchange(other.temporary_, {})),
      target_(std::move(other.target_)),
      unnamed_(std::exchange(other.unnamed_, false)),
      failed_(other.failed_) {}

OutputFile::~OutputFile() {
    if (fd_ >= 0 && owned_) ::close(fd_);
    removeTemporary();
}

void OutputFile::removeTemporary() noexcept {
    if (temporary_.empty()) return;
    ::unlink(temporary_.c_str());
    temporary_.clear();
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
    // On failure the destructor discards the file, and an earlier one keeps its name.
    if (!temporary_.empty() || unnamed_)
        if (fsync(fd_) != 0) failToFinish(errno);
    if (unnamed_) linkIntoPlace();
    if (owned_ && ::close(std::exchange(fd_, -1)) != 0) failToFinish(errno);
    if (temporary_.empty()) return;
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) failToFinish(errno);
    temporary_.clear();
}

// The unnamed file is linked under a hidden name, which the closing rename then
// moves onto its own name in one step (a link cannot replace a file).
void OutputFile::linkIntoPlace() {
    const std::filesystem::path final(target_);
    const std::filesystem::path folder = final.has_parent_path() ? final.parent_path() : ".";
    const std::string from = descriptorPath(fd_);
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
        std::string hidden = (folder / hiddenName(final.filename().string())).string();
        // mktemp's name is only a candidate here: linkat refuses a name that exists.
        for (std::size_t i = hidden.size() - 6; i < hidden.size(); ++i)
            hidden[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
        if (linkat(AT_FDCWD, from.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary_ = std::move(hidden);
            unnamed_ = false;
            return;
        }
        if (errno != EEXIST || attempt == 100) failToFinish(errno);
    }
}
