#include "detectors/levels_detector.h"

bool exceedsR103(double lumaShare, double rgbShare, const LevelsRule& rule) {
    return lumaShare > rule.share || rgbShare > rule.share;
}
