#include "report/thumbnail_keeper.h"

#include <algorithm>

namespace {

bool isWorse(Worse worse, double value, double than) { return worse == Worse::Higher ? value > than : value < than; }

const IndicatorDescriptor& entry(int i) { return indicatorRegistry()[static_cast<std::size_t>(i)]; }

}  // namespace

void ThumbnailKeeper::begin(const RunInfo& info, const EventOptions& options) {
    info_ = info;
    options_ = options;
    tracks_.clear();
    for (const EventSource& source : eventSources(info.mask, info.fps))
        tracks_.push_back(Track{source, false, 0, 0, -1, nullptr});
    worst_.assign(kIndicatorCount, Worst{});
    events_.clear();
    events_.reserve(kEventThumbnailLimit);
    plane_.reset();
    planeFrame_ = -1;
    current_.reset();
    firstFrame_ = -1;
    shrunk_ = 0;
    strip_.resize(2 * kFilmstripLength);
    stripUsed_ = 0;
    stripFirst_ = -1;
    // With the length known the step is right from the start; else it doubles
    // whenever the strip is full, keeping every other picture.
    stripStep_ = info.frameCount
                     ? std::max<int64_t>(1, (*info.frameCount + static_cast<int64_t>(kFilmstripLength) - 1) /
                                                static_cast<int64_t>(kFilmstripLength))
                     : 1;
}

void ThumbnailKeeper::keepForFilmstrip(int64_t frame) {
    if (stripFirst_ < 0) stripFirst_ = frame;
    if ((frame - stripFirst_) % stripStep_ != 0) return;
    if (stripUsed_ == strip_.size()) {
        for (std::size_t i = 0; i < stripUsed_ / 2; ++i) std::swap(strip_[i], strip_[2 * i]);
        stripUsed_ /= 2;
        stripStep_ *= 2;
        if ((frame - stripFirst_) % stripStep_ != 0) return;
    }
    stripShrinker_.shrink(frame, *plane_, strip_[stripUsed_++]);
    ++shrunk_;
}

std::vector<const Thumbnail*> ThumbnailKeeper::filmstrip() const {
    std::vector<const Thumbnail*> out;
    for (std::size_t i = 0; i < stripUsed_; ++i) out.push_back(&strip_[i]);
    return out;
}

void ThumbnailKeeper::picture(int64_t frame, const Image& luma) {
    plane_ = luma;
    planeFrame_ = frame;
    current_.reset();
}

std::shared_ptr<Thumbnail> ThumbnailKeeper::reusable() {
    // A thumbnail only the pool holds is free. The pool grows to the most held
    // at once: the worst frames, the events' first frames and a few in hand.
    for (auto& t : pool_)
        if (t.use_count() == 1) return t;
    pool_.push_back(std::make_shared<Thumbnail>());
    return pool_.back();
}

ThumbnailKeeper::Kept ThumbnailKeeper::inHand(int64_t frame) {
    if (current_ && current_->frame == frame) return current_;
    if (!plane_ || planeFrame_ != frame) return nullptr;
    std::shared_ptr<Thumbnail> t = reusable();
    shrinker_.shrink(frame, *plane_, *t);
    ++shrunk_;
    current_ = t;
    return current_;
}

void ThumbnailKeeper::row(int64_t frame, const Results& values) {
    if (firstFrame_ < 0) firstFrame_ = std::min(frame, info_.origin);
    if (plane_ && planeFrame_ == frame) keepForFilmstrip(frame);
    for (int i = 0; i < kIndicatorCount; ++i) {
        const auto value = meaningfulValue(values, i);
        Worst& w = worst_[static_cast<std::size_t>(i)];
        // Equal values keep the earlier frame, as the summary's worst frames do.
        if (!value || !isRequested(entry(i), info_.mask)) continue;
        if (w.thumbnail && !isWorse(entry(i).worse, *value, w.value)) continue;
        if (Kept kept = inHand(frame)) w = Worst{*value, std::move(kept)};
    }
    for (Track& track : tracks_) {
        const EventSource& source = track.source;
        const bool speaks = source.speaks(values);
        // Values that stand for several frames; a detector's finding (flicker's) is per frame.
        const bool perValue =
            source.framesPerValue > 1 && !(source.detection && values.detections.judges(*source.detection));
        if (track.nextStart < 0) track.nextStart = frame;
        // The first frame of a stretch that a later value may mark: its picture
        // is made now, while the frame is in hand, unless an open event would
        // only go on or no event may keep a picture.
        if (perValue && frame == track.nextStart && !track.open &&
            events_.size() < kEventThumbnailLimit)
            track.startPicture = inHand(frame);
        if (perValue && !speaks) continue;  // no news between values
        if (speaks) track.nextStart = frame + 1;
        if (!speaks || !source.marks(values, options_)) {
            closeEvent(track);
            continue;
        }
        // A freeze's frames show the picture of its first frame, which stands for it.
        const int64_t start = source.startOf(frame, values, firstFrame_);
        const bool otherFreeze = source.detection == Detection::Freeze && values.detections.judges(Detection::Freeze) &&
                                 track.open && start != track.start;
        if (track.open && !otherFreeze && start <= track.end + 1) {
            track.end = frame;
            continue;
        }
        closeEvent(track);
        openEvent(track, start, frame);
        track.end = frame;
    }
    plane_.reset();
}

void ThumbnailKeeper::openEvent(Track& track, int64_t start, int64_t frame) {
    track.open = true;
    track.start = start;
    Kept picture = std::move(track.startPicture);
    if (events_.size() == kEventThumbnailLimit) return;
    // The start may lie before the first frame seen, or its picture may not have
    // been made: the earliest frame kept since stands for it.
    if (!picture || picture->frame < start || picture->frame > frame) picture = inHand(frame);
    if (picture) events_.push_back(EventStart{track.source.name(), start, std::move(picture)});
}

void ThumbnailKeeper::closeEvent(Track& track) {
    if (!track.open) return;
    track.open = false;
    const std::string_view type = track.source.name();
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
