#include "report/thumbnail_keeper.h"

#include <algorithm>

namespace {

bool isWorse(Worse worse, double value, double than) { return worse == Worse::Higher ? value > than : value < than; }

}  // namespace

void ThumbnailKeeper::begin(const RunInfo& info, const EventOptions& options) {
    info_ = info;
    options_ = options;
    const auto& registry = indicatorRegistry();
    // An event can start this many frames before the frame whose value marks it.
    int64_t reach = 1;
    tracks_.clear();
    for (int i = 0; i < kIndicatorCount; ++i) {
        const IndicatorDescriptor& d = registry[static_cast<std::size_t>(i)];
        if (d.event.type == nullptr || !isRequested(d, info.mask)) continue;
        tracks_.push_back(Track{i});
        reach = std::max(reach, d.event.framesPerValue);
    }
    recent_.assign(static_cast<std::size_t>(reach), Thumbnail{});
    worst_.assign(kIndicatorCount, Worst{});
    events_.clear();
    events_.reserve(kEventThumbnailLimit);
    current_.reset();
    firstFrame_ = -1;
}

void ThumbnailKeeper::picture(int64_t frame, const Image& luma) {
    shrinker_.shrink(frame, luma, recent_[static_cast<std::size_t>(frame) % recent_.size()]);
}

ThumbnailKeeper::Kept ThumbnailKeeper::keep(int64_t frame) {
    if (current_ && current_->frame == frame) return current_;
    const Thumbnail& seen = recent_[static_cast<std::size_t>(frame) % recent_.size()];
    if (seen.frame != frame) return nullptr;
    // The only allocation while frames pass: a frame becomes a candidate.
    current_ = std::make_shared<const Thumbnail>(seen);
    return current_;
}

void ThumbnailKeeper::row(int64_t frame, const Results& values) {
    if (firstFrame_ < 0) firstFrame_ = std::min(frame, info_.origin);
    current_.reset();
    const auto& registry = indicatorRegistry();
    for (int i = 0; i < kIndicatorCount; ++i) {
        const auto value = meaningfulValue(values, i);
        Worst& w = worst_[static_cast<std::size_t>(i)];
        // Equal values keep the earlier frame, as the summary's worst frames do.
        if (!value || !isRequested(registry[static_cast<std::size_t>(i)], info_.mask)) continue;
        if (w.thumbnail && !isWorse(registry[static_cast<std::size_t>(i)].worse, *value, w.value)) continue;
        if (Kept kept = keep(frame)) w = Worst{*value, std::move(kept)};
    }
    for (Track& track : tracks_) {
        const EventSpec& spec = registry[static_cast<std::size_t>(track.indicator)].event;
        const auto value = meaningfulValue(values, track.indicator);
        if (spec.rule == EventRule::AboveLimit && !value) continue;  // no news between values
        const bool marked = value && *value > (spec.rule == EventRule::AboveZero ? 0.0 : options_.flickerThreshold);
        if (!marked) {
            closeEvent(track);
            continue;
        }
        const int64_t start = std::max(firstFrame_, frame - spec.framesPerValue + 1);
        if (track.open && start <= track.end + 1) {
            track.end = frame;
            continue;
        }
        closeEvent(track);
        openEvent(track, start);
        track.end = frame;
    }
}

void ThumbnailKeeper::openEvent(Track& track, int64_t start) {
    track.open = true;
    track.start = start;
    if (events_.size() == kEventThumbnailLimit) return;
    // The start may lie before the first frame seen: the earliest one kept stands for it.
    const int64_t last = start + static_cast<int64_t>(recent_.size());
    for (int64_t f = std::max<int64_t>(start, 0); f < last; ++f) {
        if (Kept kept = keep(f)) {
            events_.push_back(EventStart{indicatorRegistry()[static_cast<std::size_t>(track.indicator)].event.type,
                                         start, std::move(kept)});
            return;
        }
    }
}

void ThumbnailKeeper::closeEvent(Track& track) {
    if (!track.open) return;
    track.open = false;
    const std::string_view type = indicatorRegistry()[static_cast<std::size_t>(track.indicator)].event.type;
    const double duration = static_cast<double>(track.end - track.start + 1) / info_.fps;
    if (duration >= options_.minDurationOf(type)) return;
    // Too short to be reported: its place is free for another.
    std::erase_if(events_, [&](const EventStart& e) { return e.type == type && e.start == track.start; });
}

const Thumbnail* ThumbnailKeeper::worst(int indicator) const {
    return worst_[static_cast<std::size_t>(indicator)].thumbnail.get();
}

const Thumbnail* ThumbnailKeeper::eventStart(std::string_view type, int64_t startFrame) const {
    for (const EventStart& e : events_)
        if (e.type == type && e.start == startFrame) return e.thumbnail.get();
    return nullptr;
}
