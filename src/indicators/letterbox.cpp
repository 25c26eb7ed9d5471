#include "indicators/letterbox.h"

bool checkLetterBar(const uint8_t* data, uint32_t width, uint32_t height, uint32_t i) {
    // A row of one sample (or none) has no neighbours to differ from.
    if (width < 2) return true;
    const uint8_t* upper = data + uint64_t{i} * width;
    const uint8_t* lower = data + uint64_t{height - 1 - i} * width;
    for (uint32_t k = 0; k + 1 < width; ++k) {
        if (upper[k] != upper[k + 1]) return false;
        if (lower[k] != lower[k + 1]) return false;
    }
    return true;
}

double letterbox(const Image& frame) {
    const auto W = static_cast<uint32_t>(frame.w);
    const auto H = static_cast<uint32_t>(frame.h);
    const uint32_t half = H / 2;
    if (half == 0) return 0.0 / 0.0;
    double bars = 0.0;
    for (uint32_t i = 0; i < half; ++i) {
        if (!checkLetterBar(frame.data, W, H, i)) break;
        bars += 1.0;
    }
    return bars / half;
}
