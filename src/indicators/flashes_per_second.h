// Flashes per second: the flashes (general or red, the more) in the one second of
// presentation time ending at the frame, in halves; more than three fails. Beside it the
// frame where that second's first screen transition is, where a failing sequence starts.
// Given by flash area's indicator.
#pragma once

#include "indicators/flash_rule.h"

inline double flashesPerSecond(const FlashStep& step) { return step.flashes; }
inline double flashSequenceStart(const FlashStep& step) { return static_cast<double>(step.windowStart); }
