#include "tools/sums.h"

int64_t sumPixels32(Image32 src) {
    const uint64_t n = src.w * src.h;
    int64_t total = 0;
    for (uint64_t i = 0; i < n; ++i) total += src.data[i];
    return total;
}

void blockSums(Image src, Image32 dest, uint64_t blockW, uint64_t blockH) {
    for (uint64_t r = 0; r < dest.h; ++r) {
        for (uint64_t y = r * blockH; y < (r + 1) * blockH; ++y) {
            const uint8_t* row = src.data + y * src.w;
            int32_t* totals = dest.data + r * dest.w;
            for (uint64_t c = 0; c < dest.w; ++c) {
                const uint8_t* block = row + c * blockW;
                int32_t sum = 0;
                for (uint64_t x = 0; x < blockW; ++x) sum += block[x];
                // Integer additions: regrouping them per row leaves every total unchanged.
                totals[c] = static_cast<int32_t>(static_cast<uint32_t>(totals[c]) + static_cast<uint32_t>(sum));
            }
        }
    }
}
