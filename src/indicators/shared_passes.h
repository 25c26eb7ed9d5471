// Work that several indicators do on the same frame, done once per frame by
// whichever asks first; the others, on any thread, wait for it and read it.
// One object per frame in flight: its buffers are sized once and then reused.
#pragma once

#include <cstdint>
#include <mutex>

#include "indicators/signal_levels.h"
#include "tools/image.h"
#include "tools/picture.h"
#include "tools/workspace.h"

class SharedPasses {
public:
    // Forgets what was done for the frame before; `frame` must outlive the
    // calls until the next start().
    void start(const Image& frame);
    // The frame's planes and those of the frame before it (null for a run's first), for
    // work on the planes; both must outlive the calls until the next start().
    void startPlanes(const Picture* picture, const Picture* previous);

    // The frame before this one (null for a run's first), for work on the pair; it must
    // outlive the calls until the next start().
    void startPair(const Image* previous);

    // Sums of the frame's whole 8x8 blocks, row by row: (w / 8) x (h / 8).
    const int32_t* blockSums8();
    // Those sums and the sums of each block's absolute differences from the frame before;
    // null without a frame before. Valid until the next start().
    struct PairSums8 {
        const int32_t* sums = nullptr;
        const int32_t* absDiffSums = nullptr;
    };
    PairSums8 pairSums8();

    // The levels of the frame's planes; with `record`, also kept for the frame's row.
    const PictureLevels& levels(bool record = false);
    // The frame's planes (null when the run does not read them).
    const Picture* picture() const { return picture_; }
    // The signalstats statistics an indicator asked to be recorded on this frame, if any.
    const SignalStats* recordedStats() const { return recordStats_ ? &levels_.stats : nullptr; }

private:
    std::mutex mutex_;
    Image frame_{};
    const Picture* picture_ = nullptr;
    const Picture* previous_ = nullptr;
    bool haveLevels_ = false;
    bool recordStats_ = false;
    PictureLevels levels_;
    LevelsWork levelsWork_;
    bool haveBlockSums8_ = false;
    Reusable<int32_t> blockSums8_;
    const Image* pairPrevious_ = nullptr;
    bool havePairSums8_ = false;
    Reusable<int32_t> pairSums8_, pairDiffs8_;
};
