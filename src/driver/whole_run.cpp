#include "driver/whole_run.h"

#include <algorithm>

std::optional<int64_t> wholeRunFrameCount(const RunOptions& o, std::optional<int64_t> inputFrames,
                                          std::optional<int64_t> count) {
    if (o.runFrames) return o.runFrames;
    if (!o.origin) return count;
    if (inputFrames) return std::max<int64_t>(0, *inputFrames - *o.origin);
    return std::nullopt;
}
