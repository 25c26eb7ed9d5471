#include "indicators/shared_passes.h"

#include "kernels/kernels.h"

void SharedPasses::start(const Image& frame) {
    std::lock_guard lock(mutex_);
    frame_ = frame;
    haveBlockSums8_ = false;
}

const int32_t* SharedPasses::blockSums8() {
    std::lock_guard lock(mutex_);
    int32_t* sums = blockSums8_.take((frame_.w / 8) * (frame_.h / 8));
    if (!haveBlockSums8_) {
        activeKernels().blockSums8(planeOf(frame_), sums);
        haveBlockSums8_ = true;
    }
    return sums;
}
