#include "tools/conversions.h"

#include <cassert>
#include <cstring>

void convU8toI32(const Image* src, const Image32* dest) {
    assert(src->w * src->h == dest->w *dest->h);
    const uint64_t n = src->w * src->h;
    for (uint64_t i = 0; i < n; ++i) dest->data[i] = src->data[i];
}

void convI32toU8(const Image32* src, const Image* dest) {
    assert(src->w * src->h == dest->w *dest->h);
    const uint64_t n = src->w * src->h;
    for (uint64_t i = 0; i < n; ++i) dest->data[i] = static_cast<uint8_t>(src->data[i]);
}

int32_t areEqual(const Image* a, const Image* b) {
    if (a == b) return 1;
    if (a->w != b->w) return 0;
    if (a->h != b->h) return 0;
    const uint64_t n = a->w * a->h;
    if (a->data == b->data || n == 0) return 1;
    return std::memcmp(a->data, b->data, n) == 0 ? 1 : 0;
}

namespace {

int32_t elementCount(uint64_t w, uint64_t h) {
    return static_cast<int32_t>(static_cast<uint32_t>(w) * static_cast<uint32_t>(h));
}

}  // namespace

void addSquares(Image a, Image b, Image32 dest) {
    const int32_t n = elementCount(a.w, a.h);
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t x = a.data[i];
        const uint32_t y = b.data[i];
        dest.data[i] = static_cast<int32_t>(x * x + y * y);
    }
}

void divide(Image32 a, Image32 b, ImageDouble dest) {
    const int32_t n = elementCount(a.w, a.h);
    for (int32_t i = 0; i < n; ++i) dest.data[i] = static_cast<double>(a.data[i]) / static_cast<double>(b.data[i]);
}
