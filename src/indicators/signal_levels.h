// A picture's levels and colour at its own depth, measured once per frame for every
// indicator that reads them: the statistics of ffmpeg's signalstats filter (names as it
// prints them) and the shares of the picture outside EBU R103's limits.
#pragma once

#include <array>
#include <cstdint>

#include "tools/levels_8bit.h"
#include "tools/picture.h"
#include "tools/workspace.h"

enum SignalStat : int {
    YMIN, YLOW, YAVG, YHIGH, YMAX,
    UMIN, ULOW, UAVG, UHIGH, UMAX,
    VMIN, VLOW, VAVG, VHIGH, VMAX,
    SATMIN, SATLOW, SATAVG, SATHIGH, SATMAX,
    HUEMED, HUEAVG,
    YDIF, UDIF, VDIF,
    BRNG,
    kSignalStatCount
};

inline constexpr std::array<const char*, kSignalStatCount> kSignalStatNames = {
    "YMIN", "YLOW", "YAVG", "YHIGH", "YMAX", "UMIN", "ULOW", "UAVG", "UHIGH", "UMAX",
    "VMIN", "VLOW", "VAVG", "VHIGH", "VMAX", "SATMIN", "SATLOW", "SATAVG", "SATHIGH", "SATMAX",
    "HUEMED", "HUEAVG", "YDIF", "UDIF", "VDIF", "BRNG"};

// Whether the statistic is a whole number (a level or a count) rather than a mean.
inline bool isWholeStat(int s) {
    return s != YAVG && s != UAVG && s != VAVG && s != SATAVG && s != HUEAVG && s != YDIF && s != UDIF &&
           s != VDIF && s != BRNG;
}

struct SignalStats {
    std::array<double, kSignalStatCount> values{};
    int bitDepth = 8;
};

struct PictureLevels {
    SignalStats stats;
    double r103Luma = 0;  // share of luma samples outside EBU R103's limits
    double r103Rgb = 0;   // share of pixels whose R, G or B lies outside them
};

// EBU R103's limits at this depth, in codes: -5 % and 105 % of the nominal range
// (8 bits narrow range: 5 and 246).
struct R103Limits {
    int low, high;
};
R103Limits r103Limits(int depth, bool fullRange);

struct LevelsWork {
    Reusable<uint64_t> bins;
    Levels8Work eightWork;  // the one-pass counts of 8-bit pictures
    Levels8 eight;
};

// `previous` is the frame before (null for the first one), whose differences are then zero.
void measureLevels(const Picture& picture, const Picture* previous, LevelsWork& work, PictureLevels& out);
