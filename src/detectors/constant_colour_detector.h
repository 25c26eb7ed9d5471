// Constant colour: a picture that is one flat colour other than black, such as a grey or
// white slate: a share of it (90 % by default) within the noise levels of one level.
#pragma once

#include <optional>
#include <utility>

#include "detectors/luma_histogram.h"
#include "detectors/luma_range.h"
#include "tools/picture.h"

struct ConstantColourRule {
    double share = 0.9;
};

// The picture's level when it is of one colour (black pictures included: the caller
// tells them apart); none otherwise.
std::optional<int> constantLevel(const LumaHistogram& levels, const LumaRange& range,
                                 const ConstantColourRule& rule = {});

// The picture's mean Cb and Cr as 8-bit codes, which with its level give a flat picture's
// colour: 128 for grey input; none for a picture without planes.
std::optional<std::pair<int, int>> meanChroma(const Picture& picture);
