#include "io/stream_reader.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::size_t kSkipChunk = 1 << 16;
// How often a pipe with nothing to give looks at the stop flag: a signal may reach another thread.
constexpr int kStopCheckMilliseconds = 100;

std::atomic<const std::atomic<bool>*> stopFlag{nullptr};

}  // namespace

void ByteStream::stopWaitingWhen(const std::atomic<bool>* flag) { stopFlag.store(flag); }

std::unique_ptr<ByteStream> ByteStream::open(const std::string& path, std::string& error) {
    if (path == "-") return std::make_unique<ByteStream>(stdin, false);
    FILE* file = fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "Could not open " + path + ": " + strerror(errno);
        return nullptr;
    }
    return std::make_unique<ByteStream>(file, true);
}

ByteStream::ByteStream(FILE* file, bool owned) : file_(file), owned_(owned) {
    struct stat status {};
    if (fstat(fileno(file_), &status) == 0 && S_ISREG(status.st_mode)) {
        base_ = ftello(file_);
        seekable_ = base_ >= 0;
    }
    // A pipe is read below the C library, so that nothing waits in its buffer when the pipe is
    // asked whether it has more. A stream in memory has no descriptor and never waits.
    if (!seekable_ && fileno(file_) >= 0) {
        pipe_ = fileno(file_);
        setvbuf(file_, nullptr, _IONBF, 0);
    }
}

ByteStream::~ByteStream() {
    if (owned_) fclose(file_);
}

void ByteStream::noteError() {
    if (error_ == 0) error_ = errno != 0 ? errno : EIO;
}

std::string ByteStream::peek(std::size_t count) {
    if (position_ != 0) return {};
    if (seekable_) {
        std::string bytes(count, '\0');
        bytes.resize(fread(bytes.data(), 1, count, file_));
        if (ferror(file_)) noteError();
        clearerr(file_);
        if (fseeko(file_, base_, SEEK_SET) != 0) noteError();
        return bytes;
    }
    // A pipe cannot go back: keep what was read and deliver it first.
    const std::size_t have = pending_.size();
    if (have < count) {
        pending_.resize(count);
        pending_.resize(have + readForward(reinterpret_cast<uint8_t*>(pending_.data()) + have, count - have));
    }
    return pending_.substr(0, count);
}

std::size_t ByteStream::readForward(uint8_t* destination, std::size_t count) {
    if (pipe_ < 0) {
        errno = 0;
        const std::size_t got = fread(destination, 1, count, file_);
        if (got < count && ferror(file_)) noteError();
        return got;
    }
    const int fd = pipe_;
    std::size_t done = 0;
    while (done < count) {
        pollfd wanted{fd, POLLIN, 0};
        const int ready = poll(&wanted, 1, kStopCheckMilliseconds);
        if (ready == 0 || (ready < 0 && errno == EINTR)) {
            const std::atomic<bool>* stop = stopFlag.load();
            if (stop != nullptr && stop->load()) break;
            continue;
        }
        if (ready < 0) {
            noteError();
            break;
        }
        const ssize_t got = ::read(fd, destination + done, count - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got == 0) {
            break;  // the end of the input
        } else if (errno != EINTR && errno != EAGAIN) {
            noteError();
            break;
        }
    }
    return done;
}

std::size_t ByteStream::read(void* destination, std::size_t count) {
    auto* out = static_cast<uint8_t*>(destination);
    std::size_t done = 0;
    if (pendingUsed_ < pending_.size()) {
        done = std::min(count, pending_.size() - pendingUsed_);
        memcpy(out, pending_.data() + pendingUsed_, done);
        pendingUsed_ += done;
    }
    if (done < count) done += readForward(out + done, count - done);
    position_ += done;
    return done;
}

int ByteStream::get() {
    uint8_t byte = 0;
    return read(&byte, 1) == 1 ? byte : EOF;
}

uint64_t ByteStream::skip(uint64_t count) {
    if (seekable_) {
        const std::optional<uint64_t> end = length();
        const uint64_t available = end && *end > position_ ? *end - position_ : 0;
        const uint64_t step = std::min(count, available);
        if (step > 0 && !seek(position_ + step)) return 0;
        return step;
    }
    if (scratch_.empty()) scratch_.resize(kSkipChunk);
    uint64_t done = 0;
    while (done < count) {
        const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(count - done, scratch_.size()));
        const std::size_t got = read(scratch_.data(), want);
        done += got;
        if (got < want) break;
    }
    return done;
}

bool ByteStream::seek(uint64_t offset) {
    if (!seekable_ || offset > static_cast<uint64_t>(INT64_MAX - base_)) return false;
    // A position the file cannot take is the caller's to handle, not a read error.
    if (fseeko(file_, base_ + static_cast<int64_t>(offset), SEEK_SET) != 0) return false;
    position_ = offset;
    return true;
}

std::optional<uint64_t> ByteStream::length() const {
    struct stat status {};
    if (!seekable_ || fstat(fileno(file_), &status) != 0) return std::nullopt;
    return status.st_size > base_ ? static_cast<uint64_t>(status.st_size - base_) : 0;
}
