// The time code a container states for the first frame of its video stream.
#pragma once

#include <string>

struct StartTimecode {
    std::string start;      // "HH:MM:SS:FF", or "HH:MM:SS;FF" when it drops frame numbers
    int fps = 0;            // frames counted per second of time code: the stream's rate, rounded
    bool dropFrame = false; // frame numbers 0 and 1 (0 to 3 at 60) are skipped each minute but every tenth
};

inline bool operator==(const StartTimecode& a, const StartTimecode& b) {
    return a.start == b.start && a.fps == b.fps && a.dropFrame == b.dropFrame;
}
