// Temporal activity: root mean square of the change since the previous frame.
#pragma once

#include "tools/image.h"

double temporalActivity(const Image& current, const Image& previous);
