#include "tools/large_buffer.h"

#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

LargeBuffer::LargeBuffer(std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    if (bytes >= kHugePage) {
        const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        data_ = static_cast<uint8_t*>(std::aligned_alloc(kHugePage, rounded));
        if (data_ == nullptr) throw std::bad_alloc();
        // Only advice: without huge pages the buffer is still good memory.
        madvise(data_, rounded, MADV_HUGEPAGE);
        return;
    }
#endif
    data_ = static_cast<uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
    if (data_ == nullptr) throw std::bad_alloc();
}

LargeBuffer::~LargeBuffer() { std::free(data_); }
