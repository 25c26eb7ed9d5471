#include "transport/ts_analyzer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "transport/psi_sections.h"

namespace {

constexpr std::size_t kPacket = 188;
constexpr uint8_t kSync = 0x47;
constexpr int kPids = 8192;
constexpr int kNullPid = 0x1FFF;
// Sync is acquired after this many sync bytes in a row and lost after kSyncLost wrong
// ones in a row (TR 101 290, 1.1, after ISO/IEC 13818-1 annex G).
constexpr int kSyncAcquired = 5;
constexpr int kSyncLost = 2;
constexpr std::size_t kBuffered = 64 * 1024;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
// The PCR counts 27 MHz ticks modulo 2^33 * 300.
constexpr int64_t kPcrWrap = (int64_t{1} << 33) * 300;
// A step of the clock PID's PCRs longer than this re-anchors the clock instead of timing it.
constexpr double kLongestClockStep = 1.0;
constexpr double kMostExtrapolation = 0.1;
// Times equal to a limit are within it, whatever the last bits of their difference.
constexpr double kSlack = 1e-9;

bool siPid(int pid) { return pid == 0x00 || pid == 0x01 || pid == 0x10 || pid == 0x11 || pid == 0x12 || pid == 0x14; }

int64_t pcrStep(uint64_t from, uint64_t to) {
    int64_t step = static_cast<int64_t>(to) - static_cast<int64_t>(from);
    if (step > kPcrWrap / 2) step -= kPcrWrap;
    if (step < -kPcrWrap / 2) step += kPcrWrap;
    return step;
}

// Stream ids whose PES packets have no header with time stamps (ISO/IEC 13818-1, 2.4.3.7).
bool stampless(uint8_t id) {
    return id == 0xBC || id == 0xBE || id == 0xBF || id == 0xF0 || id == 0xF1 || id == 0xFF || id == 0xF2 || id == 0xF8;
}

}  // namespace

struct TsAnalyzer::Pid {
    int8_t counter = -1;  // the last continuity_counter, -1 before the first packet
    uint8_t repeats = 0;  // packets in a row with the same counter
    bool pmt = false;     // carries a PMT the PAT lists
    bool stream = false;  // an elementary stream a PMT lists
    bool scrambledWithoutCat = false;
    bool hasPcr = false;
    bool hasPts = false;
    double lastSeen = kNone;     // a packet (streams)
    double lastSection = kNone;  // a PMT section (PMT PIDs)
    double lastPts = kNone;
    double lastPcrTime = kNone;
    uint64_t lastPcr = 0;
    std::unique_ptr<SectionAssembler> sections;
};

TsAnalyzer::TsAnalyzer(TsLimits limits)
    : limits_(limits), pids_(new Pid[kPids]), clockTime_(kNone), now_(kNone), lastPat_(kNone) {
    bytes_.reserve(kBuffered);
}

TsAnalyzer::~TsAnalyzer() = default;

void TsAnalyzer::count(TsCheck check) {
    ++report_.counts[static_cast<std::size_t>(check)];
    auto& seen = report_.occurrences;
    const double time = std::isnan(now_) ? kNone : static_cast<double>(clockPcr_) / 27e6 + (now_ - clockTime_);
    // Errors of a check within a frame's time (at 25 fps) are one entry.
    for (auto it = seen.rbegin(); it != seen.rend() && it->frame == frame_; ++it)
        if (it->check == check && (std::isnan(time) ? std::isnan(it->time) : std::fabs(time - it->time) < 0.04)) {
            ++it->count;
            return;
        }
    if (seen.size() < kMostOccurrences) seen.push_back({check, frame_, 1, time});
}

bool TsAnalyzer::expired(double& last, double limit) const {
    if (std::isnan(now_)) return false;
    if (std::isnan(last)) {
        last = now_;
        return false;
    }
    if (now_ - last <= limit + kSlack) return false;
    last = now_;
    return true;
}

void TsAnalyzer::feed(const uint8_t* data, std::size_t size) {
    while (size > 0) {
        const std::size_t n = std::min(size, kBuffered - bytes_.size());
        bytes_.insert(bytes_.end(), data, data + n);
        data += n;
        size -= n;
        drain();
    }
}

void TsAnalyzer::drain() {
    std::size_t at = 0;
    const std::size_t held = bytes_.size();
    const uint8_t* b = bytes_.data();
    for (;;) {
        if (inSync_) {
            if (held - at < kPacket) break;
            if (b[at] == kSync) {
                badSyncs_ = 0;
                packet(b + at);
                at += kPacket;
                continue;
            }
            count(TsCheck::SyncByteError);
            if (++badSyncs_ < kSyncLost) {
                at += kPacket;  // its content cannot be trusted
                continue;
            }
            count(TsCheck::TsSyncLoss);
            inSync_ = false;  // searched for again from this packet on
            continue;
        }
        const std::size_t span = (kSyncAcquired - 1) * kPacket + 1;
        if (held - at < span) break;
        const std::size_t tries = std::min(held - at - span + 1, kPacket);
        std::size_t found = tries;
        for (std::size_t i = 0; i < tries && found == tries; ++i) {
            bool all = true;
            for (int k = 0; k < kSyncAcquired && all; ++k)
                all = b[at + i + static_cast<std::size_t>(k) * kPacket] == kSync;
            if (all) found = i;
        }
        at += found;
        if (found < tries) {
            inSync_ = true;
            badSyncs_ = 0;
        }
    }
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(at));
}

void TsAnalyzer::packet(const uint8_t* p) {
    ++report_.packets;
    // Between PCRs the packets are spaced at the stream's mean rate so far, but never more than
    // kMostExtrapolation past the last PCR: a variable-rate stream's bursts (a key frame's
    // packets) would otherwise run the clock ahead of the next PCR.
    if (!std::isnan(clockTime_))
        now_ = clockTime_ +
               std::min(kMostExtrapolation, static_cast<double>(report_.packets - clockPacket_) * packetSeconds_);
    // 2.1: a packet the link could not correct; nothing in it can be trusted.
    if (p[1] & 0x80) {
        count(TsCheck::TransportError);
        timeouts();
        return;
    }
    const bool unitStart = (p[1] & 0x40) != 0;
    const int pid = ((p[1] & 0x1F) << 8) | p[2];
    const int scrambling = p[3] >> 6;
    const int adaptation = (p[3] >> 4) & 3;
    std::size_t payload = 4;
    bool discontinuity = false;
    if (adaptation & 2) {
        const std::size_t length = p[4];
        payload = 5 + length;
        if (payload > kPacket) payload = kPacket;
        if (length > 0) {
            const uint8_t flags = p[5];
            discontinuity = (flags & 0x80) != 0;
            if ((flags & 0x10) && length >= 7) {
                const uint64_t base = (uint64_t{p[6]} << 25) | (uint64_t{p[7]} << 17) | (uint64_t{p[8]} << 9) |
                                      (uint64_t{p[9]} << 1) | (p[10] >> 7);
                const uint64_t extension = (uint64_t{p[10] & 1u} << 8) | p[11];
                pcr(pid, base * 300 + extension, discontinuity);
            }
        }
    }
    if (pid == kNullPid) {
        timeouts();
        return;
    }
    Pid& state = pids_[pid];
    continuity(state, adaptation, p[3] & 0x0F, discontinuity);
    state.lastSeen = now_;
    if (scrambling != 0) {
        if (pid == 0) count(TsCheck::PatError);      // 1.3: PAT scrambled
        else if (state.pmt) count(TsCheck::PmtError);  // 1.5: PMT scrambled
        // 2.6: scrambled packets need a CAT to be descrambled.
        if (!catSeen_ && !state.scrambledWithoutCat) {
            state.scrambledWithoutCat = true;
            count(TsCheck::CatError);
        }
    } else if ((adaptation & 1) && payload < kPacket) {
        if (siPid(pid) || state.pmt) {
            if (!state.sections) state.sections = std::make_unique<SectionAssembler>();
            state.sections->add(p + payload, kPacket - payload, unitStart,
                                [this, pid](const uint8_t* data, std::size_t size) { section(pid, data, size); });
        } else if (state.stream && unitStart) {
            pes(state, p + payload, kPacket - payload);
        }
    }
    timeouts();
}

void TsAnalyzer::continuity(Pid& state, int adaptation, int counter, bool discontinuity) {
    // 1.4: the counter of a PID steps by one with each packet that carries a payload; a packet
    // may come twice, not more; a discontinuity_indicator allows any jump.
    const int last = state.counter;
    state.counter = static_cast<int8_t>(counter);
    if (last < 0 || discontinuity) {
        state.repeats = 0;
        return;
    }
    if (!(adaptation & 1)) return;  // without payload the counter does not step
    if (counter == last) {
        if (++state.repeats > 1) count(TsCheck::ContinuityCountError);
        return;
    }
    state.repeats = 0;
    if (counter != ((last + 1) & 0x0F)) {
        count(TsCheck::ContinuityCountError);
        if (state.sections) state.sections->reset();
    }
}

void TsAnalyzer::pcr(int pid, uint64_t value, bool discontinuity) {
    if (clockPid_ < 0) {
        clockPid_ = pid;
        clockTime_ = now_ = 0;
        clockPacket_ = firstClockPacket_ = report_.packets;
        clockPcr_ = value;
    } else if (pid == clockPid_) {
        const double step = static_cast<double>(pcrStep(clockPcr_, value)) / 27e6;
        if (!discontinuity && step > 0 && step <= kLongestClockStep && report_.packets > clockPacket_) {
            clockTime_ += step;
            packetSeconds_ = clockTime_ / static_cast<double>(report_.packets - firstClockPacket_);
        } else {
            clockTime_ = now_;
        }
        clockPacket_ = report_.packets;
        clockPcr_ = value;
        now_ = clockTime_;
    }
    Pid& state = pids_[pid];
    if (state.hasPcr) {
        // 2.3b: consecutive PCRs 0 to 100 ms apart unless a discontinuity is flagged.
        const double step = static_cast<double>(pcrStep(state.lastPcr, value)) / 27e6;
        if (!discontinuity && (step < 0 || step > limits_.pcrJump)) count(TsCheck::PcrDiscontinuityIndicatorError);
        // 2.3a: PCRs at most 40 ms apart in time.
        if (now_ - state.lastPcrTime > limits_.pcrRepetition + kSlack) count(TsCheck::PcrRepetitionError);
    }
    state.hasPcr = true;
    state.lastPcr = value;
    state.lastPcrTime = now_;
}

void TsAnalyzer::section(int pid, const uint8_t* data, std::size_t size) {
    const uint8_t table = data[0];
    // 2.2: CRC_32 of the tables it covers (TOT has one though its syntax indicator is 0).
    if (checkedTable(table) && ((data[1] & 0x80) || table == 0x73)) {
        if (size < 8 || sectionCrc(data, size) != 0) {
            count(TsCheck::CrcError);
            return;
        }
    }
    if (pid == 0x00) {
        if (table != 0x00) count(TsCheck::PatError);  // 1.3: PID 0 carries only the PAT
        else pat(data, size);
    } else if (pid == 0x01) {
        if (table != 0x01) count(TsCheck::CatError);  // 2.6: PID 1 carries only the CAT
        else catSeen_ = true;
    } else if (pids_[pid].pmt && table == 0x02) {
        pmt(pid, data, size);
    }
}

void TsAnalyzer::pat(const uint8_t* data, std::size_t size) {
    lastPat_ = now_;
    for (std::size_t i = 8; i + 4 + 4 <= size; i += 4) {
        const int program = (data[i] << 8) | data[i + 1];
        const int pid = ((data[i + 2] & 0x1F) << 8) | data[i + 3];
        if (program == 0 || pids_[pid].pmt) continue;  // 0: the network PID
        pids_[pid].pmt = true;
        pids_[pid].lastSection = now_;
        pmtPids_.push_back(pid);
    }
}

void TsAnalyzer::pmt(int pid, const uint8_t* data, std::size_t size) {
    pids_[pid].lastSection = now_;
    if (size < 16) return;
    const std::size_t programInfo = static_cast<std::size_t>(((data[10] & 0x0F) << 8) | data[11]);
    for (std::size_t i = 12 + programInfo; i + 5 + 4 <= size;) {
        const int stream = ((data[i + 1] & 0x1F) << 8) | data[i + 2];
        const std::size_t info = static_cast<std::size_t>(((data[i + 3] & 0x0F) << 8) | data[i + 4]);
        if (!pids_[stream].stream) {
            pids_[stream].stream = true;
            pids_[stream].lastSeen = now_;
            streamPids_.push_back(stream);
        }
        i += 5 + info;
    }
}

void TsAnalyzer::pes(Pid& state, const uint8_t* payload, std::size_t size) {
    if (size < 14 || payload[0] != 0 || payload[1] != 0 || payload[2] != 1 || stampless(payload[3])) return;
    if ((payload[7] & 0x80) == 0) return;  // PTS_DTS_flags without a PTS
    state.hasPts = true;
    state.lastPts = now_;
}

void TsAnalyzer::timeouts() {
    if (std::isnan(now_)) return;
    if (expired(lastPat_, limits_.pat)) count(TsCheck::PatError);  // 1.3: PAT sections every 0.5 s
    for (int pid : pmtPids_)
        if (expired(pids_[pid].lastSection, limits_.pmt)) count(TsCheck::PmtError);  // 1.5
    for (int pid : streamPids_) {
        Pid& s = pids_[pid];
        if (expired(s.lastSeen, limits_.pid)) count(TsCheck::PidError);  // 1.6
        if (s.hasPts && expired(s.lastPts, limits_.pts)) count(TsCheck::PtsError);  // 2.5
    }
}
