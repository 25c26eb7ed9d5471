#include "indicators/shared_passes.h"

#include "kernels/kernels.h"

void SharedPasses::start(const Image& frame) {
    std::lock_guard lock(mutex_);
    frame_ = frame;
    haveBlockSums8_ = false;
    haveLevels_ = false;
    recordStats_ = false;
}

void SharedPasses::startPlanes(const Picture* picture, const Picture* previous) {
    std::lock_guard lock(mutex_);
    picture_ = picture;
    previous_ = previous;
}

const PictureLevels& SharedPasses::levels(bool record) {
    std::lock_guard lock(mutex_);
    if (!haveLevels_) {
        if (picture_ != nullptr && picture_->planeCount > 0)
            measureLevels(*picture_, previous_, levelsWork_, levels_);
        else
            levels_ = PictureLevels{};
        haveLevels_ = true;
    }
    recordStats_ = recordStats_ || record;
    return levels_;
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
