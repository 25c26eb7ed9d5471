#include "ffmpeg/frame_damage.h"

bool FrameDamage::judge(const AVFrame* frame, int64_t lostSoFar) {
    if (lostSoFar > lost_) tainted_ = true;
    lost_ = lostSoFar;
    const bool flagged = frame->decode_error_flags != 0 || (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0;
    if (frame->key_frame && !flagged) {
        tainted_ = false;
        return false;
    }
    tainted_ = tainted_ || flagged;
    return tainted_;
}

int64_t StampRhythm::missingBefore(int64_t dts, int64_t last) {
    const int64_t step = dts - last;
    if (step <= 0) {
        regular_ = 0;
        return 0;
    }
    if (step == step_) {
        ++regular_;
        return 0;
    }
    if (regular_ >= kRegularSteps && step % step_ == 0 && step / step_ - 1 <= kMostMissing)
        return step / step_ - 1;  // the rhythm goes on
    step_ = step;
    regular_ = 1;
    return 0;
}
