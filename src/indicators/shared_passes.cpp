#include "indicators/shared_passes.h"

#include "kernels/kernels.h"

void SharedPasses::start(const Image& frame) {
    std::lock_guard lock(mutex_);
    frame_ = frame;
    haveBlockSums8_ = false;
    havePairSums8_ = false;
    pairPrevious_ = nullptr;
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

void SharedPasses::startPair(const Image* previous) {
    std::lock_guard lock(mutex_);
    pairPrevious_ = previous;
}

SharedPasses::PairSums8 SharedPasses::pairSums8() {
    std::lock_guard lock(mutex_);
    if (pairPrevious_ == nullptr) return {};
    const std::size_t blocks = std::size_t{frame_.w / 8} * (frame_.h / 8);
    int32_t* sums = pairSums8_.take(blocks);
    int32_t* diffs = pairDiffs8_.take(blocks);
    if (!havePairSums8_) {
        activeKernels().blockSumsAndDiffs8(planeOf(frame_), planeOf(*pairPrevious_), sums, diffs);
        havePairSums8_ = true;
    }
    return {sums, diffs};
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
