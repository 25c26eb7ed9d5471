// Flash luminance change: the mean size, in cd/m², of the flash transitions on the frame
// (0 without any); given by flash area's indicator.
#pragma once

#include "indicators/flash_rule.h"

inline double flashLuminanceChange(const FlashStep& step) { return step.luminanceChange; }
