// The photosensitive flash rule (ITU-R BT.1702 Annex 1, Ofcom's guidance on flashing
// images) on a grid of screen cells, in frame order.
//
// A transition is a change of a cell's screen luminance by 20 cd/m² or more from the
// extreme it last reached (a peak or a valley), so that a change spread over several
// frames counts where it completes; it takes part in a flash only when the darker of the
// two is below 160 cd/m². A red transition is a change of (R - G - B) x 320 (linear,
// negative values as zero) by more than 20 where either state is a saturated red,
// R / (R + G + B) >= 0.8. A frame makes a screen transition when the cells with a
// transition on it cover the rule's share of the screen; a flash is a pair of opposing
// transitions, so the flashes in the one second of presentation time ending at a frame
// are half its screen transitions. More than three flashes of either kind fails.
#pragma once

#include <cstdint>
#include <vector>

#include "indicators/flash_settings.h"

inline constexpr double kFlashStep = 20.0;       // cd/m²
inline constexpr double kFlashDarkerBelow = 160.0;  // cd/m²
inline constexpr double kRedStep = 20.0;         // of (R - G - B) x 320
inline constexpr double kSaturatedRed = 0.8;     // R / (R + G + B)
inline constexpr double kMostFlashes = 3.0;      // a second with more fails

// One cell's state on one frame, as the rule reads it.
struct CellState {
    double luminance = 0;  // cd/m²
    double redness = 0;    // (R - G - B) x 320, at least 0
    bool saturatedRed = false;
};

// What the rule found on one frame.
struct FlashStep {
    double area = 0;              // share of the screen with a counted transition
    double redArea = 0;           // and with a red one
    double luminanceChange = 0;   // mean size of the counted transitions, cd/m²; 0 without any
    double flashes = 0;           // flashes in the second ending here, the more of either kind
    double generalFlashes = 0;
    double redFlashes = 0;
    // The earliest screen transition in that second of the kind that has more flashes;
    // -1 when there is none.
    int64_t windowStart = -1;
};

// Follows peaks and valleys of one quantity: a transition is a move of `step` or more
// (more than `step` when `strict`) away from the last extreme, against it.
class Swing {
public:
    // The size of the transition this value completes (signed: + rising), or 0; `darker`
    // and `extremeFlag` tell the state it left.
    double feed(double value, bool flag, bool strict, double step, double& darker, bool& extremeFlag);
    bool started() const { return started_; }

private:
    bool started_ = false;
    int trend_ = 0;  // +1 rising, -1 falling, 0 not yet known
    double low_ = 0, high_ = 0;  // extremes; while the trend is known, both hold the last one
    bool lowFlag_ = false, highFlag_ = false;
};

class FlashRule {
public:
    // `pixels`: the screen's pixels in each cell.
    FlashRule(std::vector<uint32_t> pixels, const FlashSettings& settings);
    // The cells of frame `frame`, shown at `time` seconds; the first call only starts the state.
    FlashStep feed(int64_t frame, double time, const std::vector<CellState>& cells);

private:
    struct Transition {
        double time;
        int64_t frame;
    };
    // Screen transitions of one kind in the last second: a ring that grows only past its size.
    struct Window {
        std::vector<Transition> ring;
        std::size_t head = 0, count = 0;
        void add(Transition t);
        // Drops those a second or more before `time`; the flashes left.
        double flashesUntil(double time);
        int64_t first() const { return count ? ring[head].frame : -1; }
    };

    std::vector<uint32_t> pixels_;
    double total_ = 0;
    std::vector<Swing> general_, red_;
    FlashSettings settings_;
    Window generalWindow_, redWindow_;
};
