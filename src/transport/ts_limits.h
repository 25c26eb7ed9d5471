// The time limits of the transport checks, in seconds of the stream's own clock.
#pragma once

struct TsLimits {
    double pat = 0.5;             // 1.3: PAT sections at least this often
    double pmt = 0.5;             // 1.5: each PMT's sections at least this often
    double pid = 5.0;             // 1.6: each elementary stream a PMT lists (user-defined period)
    double pcrRepetition = 0.04;  // 2.3a: PCRs of a PID at least this often
    double pcrJump = 0.1;         // 2.3b: consecutive PCRs differ by 0 to this, unless flagged
    double pts = 0.7;             // 2.5: PTS of each elementary stream at least this often
};
