// Flickering: how often 8x8 blocks switch between still and changing.
#pragma once

#include <cstdint>

#include "tools/image.h"

// State of a run: the two block images are (W/8) x (H/8) and zero-filled at the start.
struct FlickeringState {
    Image counts;            // switches of each block in the current period
    Image states;            // 0 static, 1 changing
    int32_t frameCount = 0;  // calls of the current period
};

// -1.0 on the calls that end no period; on every eighth call, the mean number
// of switches per frame of the 3 % most switching blocks (not-a-number when
// that share rounds down to no block), after which a new period starts.
double flickering(const Image& current, const Image& previous, FlickeringState& state);

// One frame's step of every block's state machine. meanDiff (the size of the
// block grid of counts) receives each block's mean absolute
// difference; a static block at or above threshold turns changing, a changing
// block with no difference at all turns static, and each switch is counted.
void calculateFlickering(const Image& current, const Image& previous, Image& counts, Image& states,
                         ImageDouble& meanDiff, int blockSize, double threshold);

// The pair part: each block's mean absolute difference, written into meanDiff.
void blockMeanDifferences(const Image& current, const Image& previous, ImageDouble& meanDiff, int blockSize);

// The ordered part: every block's state machine for one frame.
void switchBlocks(const ImageDouble& meanDiff, Image& counts, Image& states, double threshold);

// Orders 8-bit samples descending: returns *b - *a.
int compareElements(const void* a, const void* b);

#include <memory>
#include <optional>
#include <vector>

#include "indicators/temporal.h"

std::unique_ptr<TemporalIndicator> makeFlickering(const TemporalGeometry& geometry);

// Calls in one period of the measure.
inline constexpr int64_t kFlickeringPeriod = 8;

int64_t flickeringFramesBefore(double fps, int64_t start, int64_t origin);

// Evidence of flicker beside each value, kept in the rows as "flickering_reversals":
// how often the frame's mean luma turned from rising to falling or back, by at least
// kFlickerSwing levels (far above the mean's noise, a few hundredths of a level), over
// the last 1.25 s. Motion, zooms, noise, grain, cuts and fades move the mean level
// slowly, by less, or rarely; a flicker of 2 Hz or more turns it at least 4 times.
inline constexpr double kFlickerSwing = 1.0;
// Turns of the mean level in the window that make a flickering value an event.
inline constexpr double kFlickerMinReversals = 4;

// The mean levels of the last frames, and how often they turned.
class LevelWindow {
public:
    explicit LevelWindow(std::size_t frames) : levels_(frames) {}
    void add(double level);
    // Turns by at least `swing` among the levels held, counted afresh from the oldest
    // (the first swing only sets the direction): a function of the window alone, so a
    // run that starts a window earlier gives the same count.
    int reversals(double swing) const;

private:
    std::vector<double> levels_;  // ring
    std::size_t next_ = 0;
    std::size_t held_ = 0;
};
