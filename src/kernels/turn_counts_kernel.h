// How often series of levels turned back by a swing: the first test of flicker, run on
// every block's level over the frames held at once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "kernels/variants.h"

// One level of a turn count. A turn takes a move back of `swing` levels and of half the
// swing before it, so that a wobble after a swing is no turn; the first move of `swing`
// only sets the direction (+1 rising, -1 falling, 0 not yet moved). `extreme` is the
// highest level since it rose or the lowest since it fell, `start` where the move to it
// started. Returns whether `extreme` moved to this level, and sets `turned`.
inline bool turnStep(int32_t level, int32_t swing, int& direction, int32_t& extreme, int32_t& start, bool& turned) {
    turned = false;
    if (direction * (level - extreme) > 0) {
        extreme = level;
        return true;
    }
    if (std::abs(level - extreme) < std::max(swing, std::abs(extreme - start) / 2)) return false;
    turned = direction != 0;
    direction = level > extreme ? 1 : -1;
    start = extreme;
    extreme = level;
    return true;
}

// Writes to turns[i], for each i < count, how many times series i turned (turnStep from
// its first level on), the series' level at step k being rows[k][i] for k < steps.
// Levels are at most 32767, steps at most 32767, swing from 1 to 32767.
using TurnCountsKernel = void(const uint16_t* const* rows, std::size_t steps, std::size_t count, int32_t swing,
                              uint16_t* turns);

std::span<const KernelVariant<TurnCountsKernel>> turnCountsVariants();
