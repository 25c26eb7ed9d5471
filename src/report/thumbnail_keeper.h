// Which thumbnails a report keeps while the frames pass: the worst frame so far
// of each requested indicator and the first frame of each event, with no second
// pass over the input. Memory stays bounded whatever the length of the run.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "indicators/registry.h"
#include "analysis/events.h"
#include "rows/row_sink.h"
#include "report/thumbnail.h"

// Events beyond this many keep no thumbnail, so that a page stays small.
inline constexpr std::size_t kEventThumbnailLimit = 20;

class ThumbnailKeeper {
public:
    void begin(const RunInfo& info, const EventOptions& options);
    void picture(int64_t frame, const Image& luma);
    // After picture() of the same frame, if any.
    void row(int64_t frame, const Results& values);

    // Null when the indicator had no value or no picture was seen.
    const Thumbnail* worst(int indicator) const;
    // The first frame of the event of this type starting there, or the first
    // frame seen after that start; null when none was kept.
    const Thumbnail* eventStart(std::string_view type, int64_t startFrame) const;

private:
    using Kept = std::shared_ptr<const Thumbnail>;
    struct Worst {
        double value = 0;
        Kept thumbnail;
    };
    // A run of frames marking an event, as the event rules of the registry define it.
    struct Track {
        int indicator;
        bool open = false;
        int64_t start = 0, end = 0;
    };
    struct EventStart {
        std::string_view type;
        int64_t start;
        Kept thumbnail;
    };

    Kept keep(int64_t frame);
    void openEvent(Track& track, int64_t start);
    void closeEvent(Track& track);

    RunInfo info_;
    EventOptions options_;
    Shrinker shrinker_;
    std::vector<Thumbnail> recent_;  // ring of the latest frames' thumbnails
    Kept current_;                   // the latest kept, so that a frame is copied once
    std::vector<Worst> worst_;       // per indicator
    std::vector<Track> tracks_;
    std::vector<EventStart> events_;
    int64_t firstFrame_ = -1;
};
