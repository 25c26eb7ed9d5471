// Which decoded frames are damaged: those the decoder concealed errors in or flagged as
// corrupt, and every frame after a damaged or lost one until the next clean key frame,
// since they are predicted from the damage. Frames come in presentation order, the same
// on one decoder thread or many, so the counts do not depend on the thread count.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/frame.h>
}

// Packets missing from a container of constant rate: once the decode time stamps have
// stepped by one same step long enough, a step of a whole number of them is frames missing.
// A stream of variable rate never steps that regularly, and is left alone; a long gap is
// taken for a pause, as such a stream makes.
class StampRhythm {
public:
    // The frames missing before a packet of decode time stamp `dts`, after one of `last`.
    int64_t missingBefore(int64_t dts, int64_t last);

private:
    static constexpr int kRegularSteps = 8;  // equal steps that show a constant rate
    // More frames than this missing at once is a pause of a stream of variable rate, not a loss.
    static constexpr int64_t kMostMissing = 8;
    int64_t step_ = 0;
    int regular_ = 0;
};

class FrameDamage {
public:
    // Judges the next frame out of the decoder; `lostSoFar` counts the frames lost before it.
    bool judge(const AVFrame* frame, int64_t lostSoFar);

private:
    bool tainted_ = false;  // a frame since the last clean key frame was damaged or lost
    int64_t lost_ = 0;
};
