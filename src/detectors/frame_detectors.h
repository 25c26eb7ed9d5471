// The detectors of a run together: what a frame shows on its own (black, a flat colour,
// bars), judged on any thread, and what it shows beside the frames before it (a freeze),
// judged in frame order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "detectors/detections.h"
#include "detectors/flicker_detector.h"
#include "detectors/freeze_detector.h"
#include "detectors/luma_histogram.h"
#include "detectors/luma_range.h"
#include "indicators/shared_passes.h"
#include "tools/frame_rate.h"
#include "tools/image.h"

// A frame's work in progress; one per frame in flight, reused.
struct PictureWork {
    LumaHistogram levels;
    std::vector<int32_t> freezeMeans;
    // The frame's 8x8 block sums and sums of differences from the frame before (null: none),
    // held by the frame's shared passes.
    SharedPasses::PairSums8 flickerPair;
    Detections found;
};

class FrameDetectors {
public:
    // `judged`: bits of the detections the run asks for (Detections::bit).
    FrameDetectors(uint32_t judged, uint32_t width, uint32_t height, LumaRange range = {}, double fps = kDefaultFps);
    bool any() const { return (judged_ & ~Detections::bit(Detection::Damaged)) != 0; }
    // What the frame shows on its own, and beside the frame before (the shared passes' pair); on any thread.
    void picture(const Image& frame, SharedPasses& shared, PictureWork& work) const;
    // In frame order, after picture(): adds what needs the frames before.
    void ordered(int64_t frame, PictureWork& work);

private:
    uint32_t judged_;
    LumaRange range_;
    std::optional<FreezeDetector> freeze_;
    std::optional<FlickerDetector> flicker_;
};
