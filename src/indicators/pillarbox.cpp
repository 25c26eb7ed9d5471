#include "indicators/pillarbox.h"

bool checkPillarBar(const uint8_t* data, uint32_t width, uint32_t height, uint32_t c) {
    for (uint32_t j = 0; j < height / 2; ++j) {
        const uint8_t* top = data + uint64_t{j} * width + c;
        const uint8_t* bottom = data + uint64_t{height - 1 - j} * width + c;
        if (top[0] != top[1]) return false;
        if (bottom[0] != bottom[1]) return false;
    }
    return true;
}

double pillarbox(const Image& frame) {
    const auto W = static_cast<uint32_t>(frame.w);
    const auto H = static_cast<uint32_t>(frame.h);
    const uint32_t half = W / 2;
    if (half == 0) return 0.0 / 0.0;
    double bars = 0.0;
    for (uint32_t c = 0; c < half; ++c) {
        if (!checkPillarBar(frame.data, W, H, c)) break;
        bars += 1.0;
    }
    return bars / half;
}
