#include "tools/lineruns.h"

namespace {

// Calls `onRun(length)` for every run of entries above the threshold, line by line.
template <typename OnRun>
void forEachRun(Image32 src, int32_t threshold, OnRun onRun) {
    for (uint64_t y = 0; y < src.h; ++y) {
        const int32_t* row = src.data + y * src.w;
        uint64_t length = 0;
        for (uint64_t x = 0; x < src.w; ++x) {
            if (row[x] > threshold) {
                ++length;
            } else if (length > 0) {
                onRun(length);
                length = 0;
            }
        }
        if (length > 0) onRun(length);
    }
}

}  // namespace

int32_t tempCountSeqsH(Image32 src, int32_t threshold, int32_t minLength) {
    int32_t count = 0;
    forEachRun(src, threshold, [&](uint64_t length) {
        if (minLength <= 0 || length >= static_cast<uint64_t>(minLength)) ++count;
    });
    return count;
}

int32_t tempCountSeqsH2(Image32 src, int32_t threshold) {
    int32_t count = 0;
    forEachRun(src, threshold, [&](uint64_t) { ++count; });
    return count;
}
