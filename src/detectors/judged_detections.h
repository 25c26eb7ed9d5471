// Which detections a run judges: those whose indicator it measures, and damage always.
#pragma once

#include <cstdint>

uint32_t judgedDetections(uint32_t indicatorMask);
