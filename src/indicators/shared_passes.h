// Work that several indicators do on the same frame, done once per frame by
// whichever asks first; the others, on any thread, wait for it and read it.
// One object per frame in flight: its buffers are sized once and then reused.
#pragma once

#include <cstdint>
#include <mutex>

#include "tools/image.h"
#include "tools/workspace.h"

class SharedPasses {
public:
    // Forgets what was done for the frame before; `frame` must outlive the
    // calls until the next start().
    void start(const Image& frame);

    // Sums of the frame's whole 8x8 blocks, row by row: (w / 8) x (h / 8).
    const int32_t* blockSums8();

private:
    std::mutex mutex_;
    Image frame_{};
    bool haveBlockSums8_ = false;
    Reusable<int32_t> blockSums8_;
};
