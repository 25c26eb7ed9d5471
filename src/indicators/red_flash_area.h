// Red flash area: the share of the screen making a saturated-red transition on the frame
// (flash_rule.h); given by flash area's indicator.
#pragma once

#include "indicators/flash_rule.h"

inline double redFlashArea(const FlashStep& step) { return step.redArea; }
