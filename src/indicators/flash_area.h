// Flash area: the share of the screen whose screen luminance makes a flash transition on
// the frame (flash_rule.h). Its indicator measures the whole rule: the entries that require
// it (red flash area, luminance change, flashes per second) take their values from it.
#pragma once

#include <cstdint>
#include <memory>

#include "indicators/flash_rule.h"
#include "indicators/temporal.h"

std::unique_ptr<TemporalIndicator> makeFlashArea(const TemporalGeometry& geometry);

// The indicator of an entry whose values flash area gives: it computes nothing itself.
std::unique_ptr<TemporalIndicator> makeGivenByFlashArea(const TemporalGeometry& geometry);

// A run from `start` repeats a whole run's flashes after two seconds: one for the window, one
// for the cells' last peaks and valleys.
int64_t flashFramesBefore(double fps, int64_t start, int64_t origin);
