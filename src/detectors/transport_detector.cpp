#include "detectors/transport_detector.h"

#include <algorithm>
#include <array>
#include <optional>

std::vector<TransportSpan> transportSpans(const std::vector<TsOccurrence>& occurrences) {
    std::vector<TransportSpan> spans;
    std::array<std::optional<std::size_t>, kTsCheckCount> open{};  // each check's latest span
    for (const TsOccurrence& o : occurrences) {
        auto& latest = open[static_cast<std::size_t>(o.check)];
        if (latest && o.frame <= spans[*latest].last + 1) {
            spans[*latest].last = std::max(spans[*latest].last, o.frame);
            spans[*latest].count += o.count;
            continue;
        }
        latest = spans.size();
        spans.push_back({o.check, o.frame, o.frame, o.count});
    }
    std::stable_sort(spans.begin(), spans.end(), [](const TransportSpan& a, const TransportSpan& b) {
        return a.first != b.first ? a.first < b.first : a.check < b.check;
    });
    return spans;
}
