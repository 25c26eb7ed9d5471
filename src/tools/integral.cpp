#include "tools/integral.h"

#include <cstring>

uint32_t sumPixels(Image src) {
    const uint64_t n = src.w * src.h;
    uint32_t total = 0;
    for (uint64_t i = 0; i < n; ++i) total += src.data[i];
    return total;
}

uint32_t sumH(const uint8_t* data, uint32_t width, uint32_t height) {
    const int32_t n = static_cast<int32_t>(width * height);
    uint32_t total = 0;
    for (int32_t i = 0; i < n; ++i) total += data[i];
    return total;
}

uint32_t sumV(const uint8_t* data, int32_t width, int32_t height) {
    uint32_t total = 0;
    if (width < 1 || height < 1) return total;
    const uint64_t stride = static_cast<uint64_t>(width);
    for (uint64_t c = 0; c < stride; ++c) {
        const uint8_t* column = data + c;
        for (int32_t k = 0; k < height; ++k) total += column[static_cast<uint64_t>(k) * stride];
    }
    return total;
}

void onlyCopy(Image src, Image dest) {
    // Lines follow one another without gaps in both planes, so one block copy moves
    // the same samples as a copy line by line.
    const uint64_t n = src.w * src.h;
    if (n != 0) std::memcpy(dest.data, src.data, n);
}

void integrate(Image src, Image32 dest) {
    const uint64_t w = src.w;
    if (w == 0 || src.h == 0) return;
    uint32_t running = 0;
    for (uint64_t x = 0; x < w; ++x) {
        running += src.data[x];
        dest.data[x] = static_cast<int32_t>(running);
    }
    for (uint64_t y = 1; y < src.h; ++y) {
        const uint8_t* row = src.data + y * w;
        const int32_t* above = dest.data + (y - 1) * w;
        int32_t* out = dest.data + y * w;
        running = 0;
        for (uint64_t x = 0; x < w; ++x) {
            running += row[x];
            out[x] = static_cast<int32_t>(static_cast<uint32_t>(above[x]) + running);
        }
    }
}

namespace {

// Four-corner rule over table entries read as `Value` and combined in `Acc`
// arithmetic; the terms of a missing left or upper neighbour are left out.
template <typename Value, typename Acc, typename Table>
void fourCorners(Table table, Image32 dest, uint64_t blockW, uint64_t blockH) {
    if (blockW == 0 || blockH == 0) {
        // Empty blocks: each total is 0 (the corners would lie outside the table).
        for (uint64_t i = 0; i < dest.w * dest.h; ++i) dest.data[i] = 0;
        return;
    }
    const uint64_t stride = table.w;
    auto at = [&](uint64_t c, uint64_t r) -> Acc {
        const uint64_t x = (c + 1) * blockW - 1;
        const uint64_t y = (r + 1) * blockH - 1;
        return static_cast<Acc>(static_cast<Value>(table.data[y * stride + x]));
    };
    for (uint64_t r = 0; r < dest.h; ++r) {
        int32_t* out = dest.data + r * dest.w;
        for (uint64_t c = 0; c < dest.w; ++c) {
            Acc total = at(c, r);
            if (c > 0) total -= at(c - 1, r);
            if (r > 0) total -= at(c, r - 1);
            if (c > 0 && r > 0) total += at(c - 1, r - 1);
            out[c] = static_cast<int32_t>(total);
        }
    }
}

}  // namespace

void blockSumsInteg(Image32 src, Image32 dest, uint64_t blockW, uint64_t blockH) {
    fourCorners<uint32_t, uint32_t>(src, dest, blockW, blockH);
}

void blockSumsInteg2(Image src, Image32 dest, uint64_t blockW, uint64_t blockH) {
    fourCorners<uint8_t, int32_t>(src, dest, blockW, blockH);
}
