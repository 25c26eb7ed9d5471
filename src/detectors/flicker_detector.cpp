#include "detectors/flicker_detector.h"

#include <algorithm>
#include <cmath>

FlickerDetector::FlickerDetector(uint32_t width, uint32_t height, double fps)
    : blocksW_(width / 8),
      blocksH_(height / 8),
      frames_(window(fps)),
      flickering_(std::size_t{blocksW_} * blocksH_),
      rhythms_(flickering_.size()),
      steady_(flickering_.size()) {
    blocks_.emplace(blocksW_, blocksH_, frames_);
}

std::size_t FlickerDetector::window(double fps) {
    const double frames = std::isfinite(fps) && fps > 0 ? std::round(1.25 * fps) + 2 : 0.0;
    return static_cast<std::size_t>(std::clamp(frames, 8.0, 1000.0));
}

std::optional<FlickerFinding> FlickerDetector::feed(int64_t frame, const int32_t* sums, const int32_t* absDiffSums) {
    // A frame that does not follow the one before starts the series anew.
    if (absDiffSums == nullptr || (last_ >= 0 && frame != last_ + 1)) {
        if (last_ >= 0) {
            blocks_.emplace(blocksW_, blocksH_, frames_);
            std::fill(steady_.begin(), steady_.end(), uint16_t{0});
        }
        last_ = absDiffSums ? frame : -1;
        if (absDiffSums) blocks_->add(sums, absDiffSums);
        return std::nullopt;
    }
    last_ = frame;
    blocks_->add(sums, absDiffSums);
    blocks_->mark(flickering_.data(), rhythms_.data());
    const auto newest = static_cast<int64_t>(blocks_->held()) - 1;
    std::optional<FlickerFinding> found;
    std::size_t count = 0;  // blocks that flicker now
    int64_t longest = 0;    // and the longest of their cycles
    for (std::size_t b = 0; b < flickering_.size(); ++b) {
        const FlickerRhythm& r = rhythms_[b];
        // The block's mean cycle: from its first turn to its last, two turns a cycle.
        const int64_t span = std::max(r.lastTurn - r.firstTurn, 1);
        const int64_t cycle = flickering_[b] ? (2 * span + r.turns - 2) / std::max(r.turns - 1, 1) : 0;
        // A turn is where the level stood at its extreme; past the last one, a flicker that
        // goes on turns again within a cycle.
        if (!flickering_[b] || newest - r.lastTurn > cycle) {
            steady_[b] = 0;
            continue;
        }
        // A flicker goes on for a cycle at least: a block that noise or motion made look like
        // one for a few frames is none.
        if (steady_[b] < UINT16_MAX) ++steady_[b];
        if (steady_[b] < cycle) continue;
        const int64_t since = frame - newest + r.firstTurn;
        const double rate = std::max(static_cast<double>(r.turns - 1) / static_cast<double>(span), 0.125);
        if (!found) found = FlickerFinding{since, rate};
        found->since = std::min(found->since, since);
        found->rate = std::max(found->rate, std::min(rate, 1.0));
        ++count;
        longest = std::max(longest, cycle);
    }
    // A stretch ends with the blocks that made it: a few blocks over moving content may turn
    // once more as the picture passes them, after the flicker has stopped. Blocks that go on
    // flickering for a cycle more are a flicker of their own.
    peak_ = count == 0 ? 0 : std::max(peak_, count);
    if (4 * count >= peak_) {
        dropped_ = -1;
    } else if (dropped_ < 0 || frame - dropped_ <= longest) {
        if (dropped_ < 0) dropped_ = frame;
        return std::nullopt;
    } else {
        peak_ = count;
        dropped_ = -1;
    }
    return found;
}
