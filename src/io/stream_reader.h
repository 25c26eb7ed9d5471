// A byte input that may be a regular file or a pipe: exact reads, forward
// skips that read through a pipe and seek on a file, and a look at the first
// bytes that leaves them for the reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ByteStream {
public:
    // Opens `path` for reading, or standard input for "-". Null with `error` set on failure.
    static std::unique_ptr<ByteStream> open(const std::string& path, std::string& error);

    // Reads from `file` as positioned now, which nothing may have read through; closes it
    // with the stream when `owned`.
    ByteStream(FILE* file, bool owned);

    // Once `flag` is set, a pipe that has nothing to give ends instead of being waited for, so
    // that a run asked to stop is not held by a writer that stalled. For the whole process.
    static void stopWaitingWhen(const std::atomic<bool>* flag);
    ~ByteStream();
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    // A regular file: seek() and length() work. Pipes, terminals and sockets are read forward.
    bool seekable() const { return seekable_; }

    // Up to `count` of the first bytes, fewer at the end of the input. Only
    // before anything was read; the bytes are still delivered by read().
    std::string peek(std::size_t count);

    // Reads `count` bytes; fewer only at the end of the input or on an error.
    std::size_t read(void* destination, std::size_t count);
    // The next byte, or EOF.
    int get();
    // Moves `count` bytes forward; returns how many there were before the end.
    uint64_t skip(uint64_t count);
    // Moves to `offset` bytes from where the stream began. Seekable streams only.
    bool seek(uint64_t offset);
    // Bytes from where the stream began to the end of the file, for seekable streams.
    std::optional<uint64_t> length() const;
    uint64_t position() const { return position_; }

    // errno of the first failed read or seek; 0 when none failed.
    int error() const { return error_; }
private:
    void noteError();
    // Reads up to `count` bytes past the peeked ones: all of them unless the input ends, fails
    // or, a pipe read below the C library, is given up on.
    std::size_t readForward(uint8_t* destination, std::size_t count);

    FILE* file_;
    bool owned_;
    bool seekable_ = false;
    int64_t base_ = 0;            // file offset of the stream's first byte
    int pipe_ = -1;               // the descriptor of a stream read below the C library
    uint64_t position_ = 0;       // bytes delivered so far
    std::string pending_;         // bytes peeked from a pipe, delivered first
    std::size_t pendingUsed_ = 0;
    std::vector<uint8_t> scratch_;  // where a pipe's skipped bytes go
    int error_ = 0;
};
