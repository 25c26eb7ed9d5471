// Memory for frame planes that live for a whole run. Where the system lets a
// program ask for huge pages, a large buffer is placed on them: writing it the
// first time then takes one page fault per 2 MiB instead of one per 4 KiB, and
// reading it misses the address cache less often. Elsewhere it is plain memory.
#pragma once

#include <cstddef>
#include <cstdint>

class LargeBuffer {
public:
    // Uninitialised: whoever uses the buffer writes it before reading it.
    explicit LargeBuffer(std::size_t bytes);
    ~LargeBuffer();
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    uint8_t* data() const { return data_; }

private:
    uint8_t* data_ = nullptr;
};
