// Temporal activity: root mean square of the change since the previous frame.
#pragma once

#include "tools/image.h"

double temporalActivity(const Image& current, const Image& previous);

// Square root of the summed squared sample differences; both frames have the
// current frame's size.
double temporalAct(const Image& current, const Image& previous);

#include <memory>

#include "indicators/temporal.h"

std::unique_ptr<TemporalIndicator> makeTemporalActivity(const TemporalGeometry& geometry);
