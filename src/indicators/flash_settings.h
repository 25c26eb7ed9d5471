// Settings of the photosensitive flash rule: the display it assumes and the share of the
// screen a flash must cover.
#pragma once

#include "tools/screen_luminance.h"

struct FlashSettings {
    DisplayModel display;
    // Share of the screen that flashes together for a flash to count: a quarter, or 0.20
    // where the stricter limit applies.
    double area = 0.25;
};
