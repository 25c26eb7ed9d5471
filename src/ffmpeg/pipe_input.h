// FFmpeg's reader over a byte source the program hands over (a pipe), for
// containers that can be read front to back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

struct AVIOContext;

// Fills up to `count` bytes; returns how many, 0 at the end of the input.
using ByteReader = std::function<std::size_t(uint8_t* destination, std::size_t count)>;

class PipeInput {
public:
    explicit PipeInput(ByteReader reader);
    ~PipeInput();
    PipeInput(const PipeInput&) = delete;
    PipeInput& operator=(const PipeInput&) = delete;

    // Null when it could not be made (out of memory).
    AVIOContext* context() const { return context_; }

private:
    static int readPacket(void* opaque, uint8_t* buffer, int size);

    ByteReader reader_;
    AVIOContext* context_ = nullptr;
};
