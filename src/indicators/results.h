// Values the spatial indicators of one frame hand back to the driver.
#pragma once

#include <cstdint>

// Block edge shared by blockiness, blackout, exposure and flickering.
inline constexpr int BLOCKSIZE = 8;

// One field per spatial indicator, each with a single writer. Fields keep their
// last value on frames where their indicator is not requested or gives no value.
struct Results {
    double blockiness = 0.0;
    double spatialActivity = 0.0;
    double letterbox = 0.0;
    double pillarbox = 0.0;
    double blockLoss = 0.0;
    double blur = 0.0;
    double exposure = 0.0;
    double interlace = 0.0;
    double noise = 0.0;
    double slice = 0.0;
    double contrastRMS = 0.0;
    uint8_t blackout = 0;
};
