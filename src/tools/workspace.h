// Working planes that an indicator keeps from frame to frame. An indicator holds
// its own typed set per thread (thread_local): the first frame of a run sizes
// the buffers and later frames reuse them as they are, without clearing them;
// code that accumulates clears just what it accumulates into.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "tools/image.h"

template <typename T>
class Reusable {
public:
    // At least n elements; new elements start as zero, kept ones as they were left.
    T* take(std::size_t n) {
        if (data_.size() < n) data_.resize(n);
        return data_.data();
    }

private:
    std::vector<T> data_;
};

inline Image planeIn(Reusable<uint8_t>& buffer, uint64_t w, uint64_t h) {
    return makeImage(w, h, buffer.take(w * h));
}
inline Image32 planeIn(Reusable<int32_t>& buffer, uint64_t w, uint64_t h) {
    return makeImage32(w, h, buffer.take(w * h));
}
inline ImageDouble planeIn(Reusable<double>& buffer, uint64_t w, uint64_t h) {
    return makeImageDouble(w, h, buffer.take(w * h));
}

// The same plane with every sample set to zero, for totals that accumulate.
template <typename T>
auto clearedPlaneIn(Reusable<T>& buffer, uint64_t w, uint64_t h) {
    auto plane = planeIn(buffer, w, h);
    std::fill(plane.data, plane.data + w * h, T{});
    return plane;
}
