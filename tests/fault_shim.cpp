// Preloaded (LD_PRELOAD) into the program by the output tests, it makes the
// system calls that write and finish a file fail on demand, as a full disk or
// a failing device would. FRAMEPROBE_FAULT holds one or more of, with commas:
//   write:N  the first N bytes written to regular files (not standard
//            descriptors) go through, and every later write fails with ENOSPC;
//            a write that crosses N is cut short there, as on a disk filling up
//   fsync    fsync and fdatasync fail with EIO (fsync:N: the first N calls only)
//   rename   rename and renameat fail with EIO
//   link     linkat fails with EIO
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool asked(const char* fault) {
    const char* list = std::getenv("FRAMEPROBE_FAULT");
    return list != nullptr && std::strstr(list, fault) != nullptr;
}

// fsync, or fsync:N for its first N calls.
bool fsyncFails() {
    static int calls = 0;
    const char* list = std::getenv("FRAMEPROBE_FAULT");
    const char* at = list ? std::strstr(list, "fsync") : nullptr;
    if (at == nullptr) return false;
    return at[5] != ':' || ++calls <= std::atoi(at + 6);
}

// Bytes still allowed before writes fail; negative when writes never fail.
long long& writeBudget() {
    static long long budget = [] {
        const char* list = std::getenv("FRAMEPROBE_FAULT");
        const char* at = list ? std::strstr(list, "write:") : nullptr;
        return at ? std::atoll(at + 6) : -1LL;
    }();
    return budget;
}

template <typename Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int failWith(int error) {
    errno = error;
    return -1;
}

}  // namespace

extern "C" {

ssize_t write(int fd, const void* data, size_t size) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    long long& budget = writeBudget();
    struct stat info {};
    if (budget < 0 || fd <= STDERR_FILENO || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return real(fd, data, size);
    if (budget == 0) return failWith(ENOSPC);
    const ssize_t n = real(fd, data, size < static_cast<size_t>(budget) ? size : static_cast<size_t>(budget));
    if (n > 0) budget -= n;
    return n;
}

int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    return fsyncFails() ? failWith(EIO) : real(fd);
}

int fdatasync(int fd) {
    static const auto real = next<int (*)(int)>("fdatasync");
    return fsyncFails() ? failWith(EIO) : real(fd);
}

int rename(const char* from, const char* to) {
    static const auto real = next<int (*)(const char*, const char*)>("rename");
    return asked("rename") ? failWith(EIO) : real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static const auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
    return asked("rename") ? failWith(EIO) : real(fromDir, from, toDir, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static const auto real = next<int (*)(int, const char*, int, const char*, int)>("linkat");
    return asked("link") ? failWith(EIO) : real(fromDir, from, toDir, to, flags);
}

}  // extern "C"
