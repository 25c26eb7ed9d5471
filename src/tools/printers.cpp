#include "tools/printers.h"

#include <algorithm>
#include <cstdio>

namespace {

struct Span {
    int64_t first;
    int64_t last;  // below first when the span is empty
};

// The part of [first, last] that lies inside [0, size - 1].
Span clampSpan(int32_t first, int32_t last, uint64_t size) {
    const int64_t top = static_cast<int64_t>(std::min<uint64_t>(size, INT64_MAX)) - 1;
    return Span{std::max<int64_t>(first, 0), std::min<int64_t>(last, top)};
}

template <typename Plane, typename PrintValue>
void printSpan(const Plane& src, int32_t firstCol, int32_t lastCol, int32_t firstLine, int32_t lastLine,
               PrintValue printValue) {
    const Span lines = clampSpan(firstLine, lastLine, src.h);
    const Span cols = clampSpan(firstCol, lastCol, src.w);
    for (int64_t y = lines.first; y <= lines.last; ++y) {
        const auto* row = src.data + static_cast<uint64_t>(y) * src.w;
        for (int64_t x = cols.first; x <= cols.last; ++x) printValue(row[x]);
        std::fputs("\n", stdout);
    }
}

}  // namespace

void printRange(Image src, int32_t firstCol, int32_t lastCol, int32_t firstLine, int32_t lastLine) {
    printSpan(src, firstCol, lastCol, firstLine, lastLine,
              [](uint8_t v) { std::printf("%03i ", static_cast<int>(v)); });
}

void printRange32(Image32 src, int32_t firstCol, int32_t lastCol, int32_t firstLine, int32_t lastLine) {
    printSpan(src, firstCol, lastCol, firstLine, lastLine, [](int32_t v) { std::printf("%i  ", static_cast<int>(v)); });
}
