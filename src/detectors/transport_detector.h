// Where the transport checks struck among the frames: the errors of one check found while
// the same or consecutive frames were read make one span.
#pragma once

#include <cstdint>
#include <vector>

#include "transport/transport_report.h"

struct TransportSpan {
    TsCheck check = TsCheck::TsSyncLoss;
    int64_t first = 0;
    int64_t last = 0;   // inclusive
    int64_t count = 0;  // errors in the span
};

// By first frame, then by check; `occurrences` in frame order.
std::vector<TransportSpan> transportSpans(const std::vector<TsOccurrence>& occurrences);
