#include "detectors/frame_detectors.h"

#include <tuple>

#include "detectors/bars_detector.h"
#include "detectors/black_detector.h"
#include "detectors/constant_colour_detector.h"
#include "detectors/levels_detector.h"
#include "kernels/kernels.h"

FrameDetectors::FrameDetectors(uint32_t judged, uint32_t width, uint32_t height, LumaRange range, double fps)
    : judged_(judged), range_(range) {
    if (judged_ & Detections::bit(Detection::Freeze)) freeze_.emplace(width, height);
    if (judged_ & Detections::bit(Detection::Flicker)) flicker_.emplace(width, height, fps);
}

void FrameDetectors::picture(const Image& frame, SharedPasses& shared, PictureWork& work) const {
    Detections& d = work.found;
    d = Detections{};
    const auto asked = [this](Detection which) { return (judged_ & Detections::bit(which)) != 0; };
    // Black and a flat colour are judged whenever bars or a freeze are: neither is ever
    // found on such a picture.
    // Most pictures are neither black nor flat, which every fourth row shows for sure: were all
    // the other samples of the rule's share, these rows would still hold them four times over.
    // Only a picture that may meet a rule has all its rows counted, and is judged exactly.
    constexpr uint64_t kStep = 4;
    countLevels(frame, work.levels, kStep);
    const bool mayBeBlank =
        isBlack(work.levels, range_, BlackRule{1 - kStep * (1 - BlackRule{}.share)}) ||
        constantLevel(work.levels, range_, ConstantColourRule{1 - kStep * (1 - ConstantColourRule{}.share)});
    if (mayBeBlank) countLevels(frame, work.levels);
    const bool black = mayBeBlank && isBlack(work.levels, range_);
    const std::optional<int> level = !mayBeBlank || black ? std::nullopt : constantLevel(work.levels, range_);
    if (asked(Detection::Black)) d.set(Detection::Black, black);
    if (asked(Detection::ConstantColour)) {
        d.set(Detection::ConstantColour, level.has_value());
        if (level) d.level = *level;
        if (const Picture* planes = shared.picture(); level && planes)
            if (const auto chroma = meanChroma(*planes)) std::tie(d.cb, d.cr) = *chroma;
    }
    if (asked(Detection::Levels)) {
        const PictureLevels& levels = shared.levels();
        d.set(Detection::Levels, exceedsR103(levels.r103Luma, levels.r103Rgb));
    }
    const bool blank = black || level.has_value();
    if (asked(Detection::Letterbox) || asked(Detection::Pillarbox)) {
        BarWidths bars = blank ? BarWidths{} : measureBars(planeOf(frame), range_);
        const auto w = static_cast<uint32_t>(frame.w), h = static_cast<uint32_t>(frame.h);
        // A dark line narrower than a bar is picture.
        for (uint16_t* side : {&bars.top, &bars.bottom}) if (*side < smallestBar(h)) *side = 0;
        for (uint16_t* side : {&bars.left, &bars.right}) if (*side < smallestBar(w)) *side = 0;
        if (asked(Detection::Letterbox)) d.set(Detection::Letterbox, hasLetterbox(bars, h));
        if (asked(Detection::Pillarbox)) d.set(Detection::Pillarbox, hasPillarbox(bars, w));
        d.bars = bars;
    }
    if (freeze_) {
        if (blank) work.freezeMeans.clear();
        else freeze_->blockMeans(shared.blockSums8(), work.freezeMeans);
        // Remembered for ordered(): a blank picture is never part of a freeze.
        d.set(Detection::Freeze, false);
    }
    if (flicker_) {
        // The flickering indicator reads the same sums: the pass is made once.
        work.flickerPair = shared.pairSums8();
        d.set(Detection::Flicker, false);
    }
}

void FrameDetectors::ordered(int64_t frame, PictureWork& work) {
    if (flicker_) {
        const std::optional<FlickerFinding> flicker =
            flicker_->feed(frame, work.flickerPair.sums, work.flickerPair.absDiffSums);
        work.found.set(Detection::Flicker, flicker.has_value());
        if (flicker) {
            work.found.flickerStart = flicker->since;
            work.found.flickerRate = flicker->rate;
        }
    }
    if (!freeze_) return;
    const std::optional<int64_t> start = freeze_->feed(frame, work.freezeMeans, work.freezeMeans.empty());
    work.found.set(Detection::Freeze, start.has_value());
    if (start) work.found.freezeStart = *start;
}
