// The values of one frame, one slot per indicator in registry order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "detectors/detections.h"
#include "indicators/signal_levels.h"

// Block edge shared by blockiness, blackout, exposure and flickering.
inline constexpr int kBlockSize = 8;

// The most indicators a run can have: the request mask has a bit for each. The registry
// (registry.h) says how many there are.
inline constexpr int kMaxIndicators = 32;
// The long-standing indicators, of the 8-bit luma alone: what "all" requests. Newer ones
// (the flash rule's, which read the planes) are requested by name or by a profile's events.
inline constexpr int kLumaIndicatorCount = 15;

// What was computed on one frame: `written` has bit i set when values[i] was
// written on this frame. Slots not written hold no meaning; writers decide what
// to show for them. An indicator may also give evidence beside its value, which
// its event rule weighs (`evidenceWritten` says where).
struct Results {
    std::array<double, kMaxIndicators> values{};
    uint32_t written = 0;
    // The frame's presentation time in seconds, for inputs whose frames carry one;
    // otherwise writers take frame / fps.
    std::optional<double> time;
    // A temporal indicator's second number, which an event rule may need beside its value.
    std::array<double, kMaxIndicators> evidence{};
    uint32_t evidenceWritten = 0;
    // What the detectors found on the frame, which events are made of.
    Detections detections;
    // The picture's signalstats statistics, on the frames of runs that measure them.
    std::optional<SignalStats> signal;

    void setEvidence(int index, double value) {
        evidence[static_cast<std::size_t>(index)] = value;
        evidenceWritten |= 1u << index;
    }
    std::optional<double> evidenceOf(int index) const {
        if (!((evidenceWritten >> index) & 1u)) return std::nullopt;
        return evidence[static_cast<std::size_t>(index)];
    }

    void set(int index, double value) {
        values[static_cast<std::size_t>(index)] = value;
        written |= 1u << index;
    }
    bool has(int index) const { return (written >> index) & 1u; }
    double operator[](int index) const { return values[static_cast<std::size_t>(index)]; }
};
