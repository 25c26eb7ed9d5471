#include "detectors/black_detector.h"

bool isBlack(const LumaHistogram& levels, const LumaRange& range, const BlackRule& rule) {
    if (levels.total == 0) return false;
    return static_cast<double>(levels.atOrBelow(range.darkCeiling())) >= rule.share * static_cast<double>(levels.total);
}
