// What the detectors found on one frame: the defects that events, alarms and verdicts
// are made of, apart from the indicators' values.
#pragma once

#include <array>
#include <cstdint>

enum class Detection : int { Black, ConstantColour, Letterbox, Pillarbox, Freeze, Damaged, Flicker, Levels };
inline constexpr int kDetectionCount = 8;

// Bars found at the picture's edges, in pixels (0: none on that side).
struct BarWidths {
    uint16_t top = 0;
    uint16_t bottom = 0;
    uint16_t left = 0;
    uint16_t right = 0;
    bool operator==(const BarWidths&) const = default;
};

struct Detections {
    uint32_t judged = 0;  // bit per Detection: the detector looked at the frame
    uint32_t found = 0;   // bit per Detection: the defect is on the frame
    BarWidths bars;
    int level = -1;              // a constant-colour picture's luma level
    int cb = -1, cr = -1;        // and its chroma (8-bit codes), when the run reads the planes
    int64_t freezeStart = -1;    // a frozen frame: where the picture it repeats was first shown
    int64_t flickerStart = -1;   // a flickering frame: where its flicker began
    double flickerRate = 0;      // and the flicker's switches per frame

    static constexpr uint32_t bit(Detection d) { return 1u << static_cast<int>(d); }
    bool has(Detection d) const { return (found & bit(d)) != 0; }
    bool judges(Detection d) const { return (judged & bit(d)) != 0; }
    void set(Detection d, bool present) {
        judged |= bit(d);
        found = present ? found | bit(d) : found & ~bit(d);
    }
    bool operator==(const Detections&) const = default;
};

// The event type each detection makes, and the indicator whose request judges it (its key;
// null: every run), by Detection.
struct DetectionType {
    const char* type;
    const char* judgedWith;
};
inline constexpr std::array<DetectionType, kDetectionCount> kDetectionTypes = {{
    {"black", "blackout"},
    {"constant_colour", "blackout"},
    {"letterbox", "letterbox"},
    {"pillarbox", "pillarbox"},
    {"freeze", "freezing"},
    {"damaged", nullptr},
    {"flicker", "flickering"},
    {"levels", "r103_luma"},
}};
