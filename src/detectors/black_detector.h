// Black: a dark picture, not merely a flat one. A share of it (98 % by default, so that
// a station logo or a subtitle does not hide it) is at or below the input's dark ceiling.
#pragma once

#include "detectors/luma_histogram.h"
#include "detectors/luma_range.h"

struct BlackRule {
    double share = 0.98;
};

bool isBlack(const LumaHistogram& levels, const LumaRange& range, const BlackRule& rule = {});
