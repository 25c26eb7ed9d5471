// The interface of indicators that compare a frame with the one before it.
//
// An instance is made for the run's geometry and the engine's number of frame
// slots, keeps its state across the run and releases it when destroyed. Its work
// is split in two so that several frames can be in flight:
// - pair(): anything that only needs the two frames; it may run on any thread,
//   for several slots at once, and stores its partial result in the slot;
// - ordered(): runs in frame order on one thread, advances the state and
//   returns the frame's value (or nothing, leaving the column unwritten).
#pragma once

#include <cstdint>
#include <optional>

#include "indicators/flash_settings.h"
#include "indicators/results.h"
#include "indicators/shared_passes.h"
#include "tools/image.h"
#include "tools/picture.h"
#include "tools/screen_luminance.h"

struct TemporalGeometry {
    uint32_t width;
    uint32_t height;
    unsigned slots;  // frames in flight: the slot numbers given to pair() and ordered()
    double fps;
    int64_t first;   // the run's first frame, which has no previous one
    int64_t origin;  // the first frame of the whole run this one is part of (<= first)
    ColourDescription colour{};  // of the input's samples, for indicators that read the planes
    uint32_t mask = 0;           // the indicators the run measures
    FlashSettings flash{};
};

class TemporalIndicator {
public:
    virtual ~TemporalIndicator() = default;
    virtual void pair(unsigned slot, const Image& current, const Image& previous) = 0;
    // The engine's call: pair() with the current frame's shared passes (whose pair is set),
    // for indicators that read work other users share.
    virtual void pairShared(unsigned slot, const Image& current, const Image& previous, SharedPasses&) {
        pair(slot, current, previous);
    }
    // Indicators that read the planes: called instead of pair(), with the frames' planes;
    // `firstPair` on the run's first pair, whose previous frame no call saw before.
    virtual void pairPictures(unsigned, const Picture&, const Picture&, bool) {}
    // `frame` holds the frame's spatial values and the temporal values of the
    // entries before this one in registry order.
    virtual std::optional<double> ordered(unsigned slot, int64_t frameIndex, const Results& frame) = 0;
    // Evidence for the event rule that the last ordered() call gave beside its value.
    virtual std::optional<double> evidence() const { return std::nullopt; }
    // Values the last ordered() call found for later entries that require this one, which
    // are measured together; written into `frame` beside this one's value.
    virtual void alsoGives(Results&) const {}
};
