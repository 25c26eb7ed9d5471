// The levels of an input's luma: where black is, for its range and depth.
#pragma once

struct LumaRange {
    int depth = 8;      // bits per sample of the plane the detectors read
    bool full = false;  // full range (0 is black) rather than limited (16 << (depth - 8))

    int black() const { return full ? 0 : 16 << (depth - 8); }
    int white() const { return full ? (1 << depth) - 1 : 235 << (depth - 8); }
    // The highest level that is still dark: black plus 8 % of the nominal range (33 in
    // limited 8-bit, 20 in full range), so that noise and a lifted black stay dark while
    // the darkest shadows of a picture do not.
    int darkCeiling() const { return black() + (white() - black()) * 8 / 100; }
    // Levels of noise a flat area may show: 4 in 8 bits.
    int noise() const { return 4 << (depth - 8); }
};
