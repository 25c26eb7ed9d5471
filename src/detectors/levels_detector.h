// Levels: a picture outside EBU R103's limits (-5 % .. 105 % of the nominal range) on more
// than the share of it that the recommendation tolerates, by its luma or by its R, G or B.
#pragma once

struct LevelsRule {
    // EBU R103 tolerates excursions on up to 1 % of the picture: a share equal to it passes.
    double share = 0.01;
};

// Whether a picture with these shares outside the limits (luma samples; pixels whose R, G or
// B is outside) breaks the rule.
bool exceedsR103(double lumaShare, double rgbShare, const LevelsRule& rule = {});
