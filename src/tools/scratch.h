// Working planes that survive from one frame to the next. Every thread keeps its
// own set of numbered slots; a slot grows to the largest plane asked of it and is
// handed out zero-filled, so an indicator gets what callocImage would give it
// without allocating once the first frames have warmed the slots up.
//
// A plane stays valid until the same thread asks for the same slot again. An
// indicator uses distinct slots for planes that must coexist within one call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tools/image.h"

// Zero-filled, 64-byte aligned storage of at least `bytes` bytes; throws
// std::bad_alloc when it cannot be had.
void* scratchBytes(unsigned slot, std::size_t bytes);

inline Image scratchImage(unsigned slot, uint64_t w, uint64_t h) {
    return makeImage(w, h, static_cast<uint8_t*>(scratchBytes(slot, w * h)));
}
inline Image32 scratchImage32(unsigned slot, uint64_t w, uint64_t h) {
    return makeImage32(w, h, static_cast<int32_t*>(scratchBytes(slot, w * h * sizeof(int32_t))));
}
inline ImageDouble scratchImageDouble(unsigned slot, uint64_t w, uint64_t h) {
    return makeImageDouble(w, h, static_cast<double*>(scratchBytes(slot, w * h * sizeof(double))));
}
