// The priority 1 and 2 checks of TR 101 290 (clauses 5.2.1, 5.2.2) on the bytes of an
// MPEG transport stream of 188-byte packets, fed as they are read.
//
// Time is the stream's own clock: the PCRs of the first PID that carries them, with the
// packets after a PCR spaced at the mean rate the PCRs gave so far, up to 0.1 s past it.
// The checks that time repetitions (PAT, PMT, PID, PCR repetition, PTS) start once the
// first PCR has come.
// Each error is counted once when it is found; a table or stream that stays missing is
// counted again each time its limit passes anew.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "transport/transport_report.h"
#include "transport/ts_limits.h"

class TsAnalyzer {
public:
    explicit TsAnalyzer(TsLimits limits = {});
    ~TsAnalyzer();
    TsAnalyzer(const TsAnalyzer&) = delete;
    TsAnalyzer& operator=(const TsAnalyzer&) = delete;

    void feed(const uint8_t* data, std::size_t size);
    // The frame being read, which errors found from now on are placed at.
    void setFrame(int64_t frame) { frame_ = frame; }
    const TransportReport& report() const { return report_; }
    // Errors counted so far by check, for live counters: cheaper than report().
    const std::array<int64_t, kTsCheckCount>& counts() const { return report_.counts; }

private:
    struct Pid;
    void drain();
    void packet(const uint8_t* p);
    void continuity(Pid& pid, int adaptationControl, int counter, bool discontinuity);
    void pcr(int pid, uint64_t value, bool discontinuity);
    void section(int pid, const uint8_t* data, std::size_t size);
    void pat(const uint8_t* data, std::size_t size);
    void pmt(int pid, const uint8_t* data, std::size_t size);
    void pes(Pid& pid, const uint8_t* payload, std::size_t size);
    void timeouts();
    // Whether `last` is more than `limit` behind now, restarting it then; starts it when unset.
    bool expired(double& last, double limit) const;
    void count(TsCheck check);

    TsLimits limits_;
    TransportReport report_;
    int64_t frame_ = 0;
    std::vector<uint8_t> bytes_;  // bytes not yet checked
    bool inSync_ = false;
    int badSyncs_ = 0;  // wrong sync bytes in a row
    std::unique_ptr<Pid[]> pids_;
    std::vector<int> pmtPids_;       // listed by the PAT
    std::vector<int> streamPids_;    // listed by the PMTs
    // The clock: the time of packet `clockPacket_` and the seconds a packet lasts.
    int clockPid_ = -1;
    double clockTime_;
    int64_t clockPacket_ = 0;
    int64_t firstClockPacket_ = 0;
    double packetSeconds_ = 0;
    uint64_t clockPcr_ = 0;
    double now_;  // of the packet being checked; NaN before the first PCR
    double lastPat_;
    bool catSeen_ = false;
};
