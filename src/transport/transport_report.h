// What the transport checks found in an MPEG transport stream: the priority 1 and 2
// indicators of the DVB measurement guidelines (TR 101 290, clauses 5.2.1 and 5.2.2),
// each counted, and where in the run each struck.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

enum class TsCheck : int {
    TsSyncLoss,                      // 1.1
    SyncByteError,                   // 1.2
    PatError,                        // 1.3
    ContinuityCountError,            // 1.4
    PmtError,                        // 1.5
    PidError,                        // 1.6
    TransportError,                  // 2.1
    CrcError,                        // 2.2
    PcrRepetitionError,              // 2.3a
    PcrDiscontinuityIndicatorError,  // 2.3b
    PcrAccuracyError,                // 2.4
    PtsError,                        // 2.5
    CatError,                        // 2.6
};
inline constexpr int kTsCheckCount = 13;

// The checks' names in outputs, alarms and conditions, in TsCheck order.
inline constexpr std::array<std::string_view, kTsCheckCount> kTsCheckNames{
    "ts_sync_loss", "sync_byte_error", "pat_error", "continuity_count_error", "pmt_error",
    "pid_error", "transport_error", "crc_error", "pcr_repetition_error",
    "pcr_discontinuity_indicator_error", "pcr_accuracy_error", "pts_error", "cat_error"};

inline std::string_view nameOf(TsCheck check) { return kTsCheckNames[static_cast<std::size_t>(check)]; }

// `count` errors of one check found at `time` (seconds of the PCR's clock, the clock the
// presentation time stamps count in; NaN before the first PCR), while frame `frame` was
// being read (the reader runs ahead of the frames, far ahead while a file is probed).
struct TsOccurrence {
    TsCheck check = TsCheck::TsSyncLoss;
    int64_t frame = 0;
    int64_t count = 1;
    double time = 0;
};

struct TransportReport {
    int64_t packets = 0;  // transport packets checked
    std::array<int64_t, kTsCheckCount> counts{};
    // PCR accuracy needs each packet's arrival time, which neither a file nor FFmpeg's
    // network inputs give: it is measured only where they are known.
    bool pcrAccuracyMeasured = false;
    // In frame order; at most kMostOccurrences entries, the counts go on beyond.
    std::vector<TsOccurrence> occurrences;
    int64_t count(TsCheck check) const { return counts[static_cast<std::size_t>(check)]; }
};

inline constexpr std::size_t kMostOccurrences = 10000;
