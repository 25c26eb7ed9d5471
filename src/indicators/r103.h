// EBU R103's levels: the share of the picture outside -5 % .. 105 % of the nominal range
// at the picture's depth (8 bits: codes 5 to 246), for luma and for R, G and B as the
// picture's matrix and range make them.
#pragma once

#include <array>
#include <optional>

#include "indicators/shared_passes.h"
#include "tools/image.h"
#include "tools/picture.h"

// The keys of the two shares, for summaries that take the larger.
inline constexpr std::array<const char*, 2> kR103ShareKeys = {"r103_luma", "r103_rgb"};

std::optional<double> r103Luma(const Image& luma, const Picture& picture, SharedPasses& shared);
std::optional<double> r103Rgb(const Image& luma, const Picture& picture, SharedPasses& shared);
