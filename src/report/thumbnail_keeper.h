// Which thumbnails a report keeps while the frames pass: the worst frame so far
// of each requested indicator and the first frame of each event, with no second
// pass over the input. A frame is shrunk only when it becomes one of these, and
// once however many uses it has; nothing is encoded before the page is written.
// Memory stays bounded whatever the length of the run, and a warm keeper does
// not allocate: released thumbnails are reused.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "indicators/registry.h"
#include "analysis/events.h"
#include "rows/row_sink.h"
#include "report/thumbnail.h"

// Events beyond this many keep no thumbnail, so that a page stays small.
inline constexpr std::size_t kEventThumbnailLimit = 20;
// The filmstrip: at least this many evenly spaced frames (up to twice as many
// when the run's length is not known ahead), small enough to sit along a plot.
inline constexpr std::size_t kFilmstripLength = 16;
inline constexpr uint32_t kFilmstripSide = 120;

class ThumbnailKeeper {
public:
    void begin(const RunInfo& info, const EventOptions& options);
    // The plane must stay valid until row() of the same frame returns; it is
    // only looked at if the row makes the frame worth keeping.
    void picture(int64_t frame, const Image& luma);
    void row(int64_t frame, const Results& values);

    // Null when the indicator had no value or no picture was seen.
    const Thumbnail* worst(int indicator) const;
    // The first frame of the event of this type starting there, or the first
    // frame seen after that start; null when none was kept.
    const Thumbnail* eventStart(std::string_view type, int64_t startFrame) const;
    // Evenly spaced frames across the run, in frame order.
    std::vector<const Thumbnail*> filmstrip() const;
    // How many frames were shrunk: what the pictures cost while frames passed.
    int64_t shrunk() const { return shrunk_; }

private:
    using Kept = std::shared_ptr<const Thumbnail>;
    struct Worst {
        double value = 0;
        Kept thumbnail;
    };
    // A run of frames marking an event, as the run's event rules define it.
    struct Track {
        EventSource source;
        bool open = false;
        int64_t start = 0, end = 0;
        // Where the stretch of the next value begins, and its picture while
        // no event is open: a value may mark frames before its own.
        int64_t nextStart = -1;
        Kept startPicture;
    };
    struct EventStart {
        std::string_view type;
        int64_t start;
        Kept thumbnail;
    };

    Kept inHand(int64_t frame);
    std::shared_ptr<Thumbnail> reusable();
    void openEvent(Track& track, int64_t start, int64_t frame);
    void closeEvent(Track& track);
    void keepForFilmstrip(int64_t frame);

    RunInfo info_;
    EventOptions options_;
    Shrinker shrinker_;
    std::optional<Image> plane_;  // the frame in hand, between picture() and row()
    int64_t planeFrame_ = -1;
    Kept current_;                // its thumbnail once made
    std::vector<std::shared_ptr<Thumbnail>> pool_;
    std::vector<Worst> worst_;    // per indicator
    std::vector<Track> tracks_;
    std::vector<EventStart> events_;
    int64_t firstFrame_ = -1;
    int64_t shrunk_ = 0;
    Shrinker stripShrinker_{kFilmstripSide};
    std::vector<Thumbnail> strip_;  // reused in place: halving moves them, never frees them
    std::size_t stripUsed_ = 0;
    int64_t stripFirst_ = -1, stripStep_ = 1;
};
