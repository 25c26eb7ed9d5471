#include "output/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <utility>

#include "output/output_file.h"
#include "rows/row_sink.h"

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

std::filesystem::path folderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : ".";
}

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

WholeFile::WholeFile(const std::string& path) : name_(path) {
    if (char* real = realpath(path.c_str(), nullptr)) {
        target_ = real;
        std::free(real);
    } else {
        target_ = danglingLinkTarget(path);
    }
    const std::filesystem::path final(target_);
    struct stat before {};
    mode_t mode = 0;
    if (::stat(target_.c_str(), &before) == 0) {
        mode = before.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fd_ = openUnnamed(folderOf(final).string());
    unnamed_ = fd_ >= 0;
    if (!unnamed_) {
        std::string temporary = (folderOf(final) / hiddenName(final.filename().string())).string();
        fd_ = mkstemp(temporary.data());
        if (fd_ < 0) throw WriteError("cannot create " + path + ": " + std::strerror(errno));
        temporary_ = std::move(temporary);
    }
    fchmod(fd_, mode);
}

WholeFile::WholeFile(WholeFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      name_(std::move(other.name_)),
      target_(std::move(other.target_)),
      temporary_(std::exchange(other.temporary_, {})),
      unnamed_(std::exchange(other.unnamed_, false)) {}

WholeFile::~WholeFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void WholeFile::fail(int error) const { throw WriteError(writeFailure(name_, error)); }

void WholeFile::finish() {
    if (fd_ < 0) fail(EBADF);
    if (fsync(fd_) != 0) fail(errno);
    if (unnamed_) linkIntoPlace();
    if (::close(std::exchange(fd_, -1)) != 0) fail(errno);
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) fail(errno);
    temporary_.clear();
}

// The unnamed file is linked under a hidden name, which the closing rename then
// moves onto its own name in one step (a link cannot replace a file).
void WholeFile::linkIntoPlace() {
    const std::filesystem::path final(target_);
    const std::string from = descriptorPath(fd_);
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
        std::string hidden = (folderOf(final) / hiddenName(final.filename().string())).string();
        // mktemp's name is only a candidate here: linkat refuses a name that exists.
        for (std::size_t i = hidden.size() - 6; i < hidden.size(); ++i)
            hidden[i] = "abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
        if (linkat(AT_FDCWD, from.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temporary_ = std::move(hidden);
            unnamed_ = false;
            return;
        }
        if (errno != EEXIST || attempt == 100) fail(errno);
    }
}

void writeWholeFile(const std::string& path, std::string_view bytes) {
    WholeFile file(path);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(file.fd(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw WriteError(writeFailure(path, n < 0 ? errno : EIO));
        done += static_cast<std::size_t>(n);
    }
    file.finish();
}
