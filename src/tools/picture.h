// A picture's planes at their own depth: what indicators that read more than
// the 8-bit luma are given. The records only point at samples someone else keeps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Samples of a plane: bytes when the picture's depth is 8, else uint16_t in the
// machine's order holding the value in their low bits; rows `stride` bytes apart.
struct SamplePlane {
    const uint8_t* data = nullptr;
    std::ptrdiff_t stride = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// The matrix that makes R, G and B of Y, U and V.
enum class ColourMatrix { Bt601, Bt709, Bt2020 };

struct Picture {
    std::array<SamplePlane, 3> planes{};  // Y, U, V
    int planeCount = 0;                   // 0 when the frame holds none, 1 for grey
    int bitDepth = 8;
    // What the samples stand for, as the input says or as its size suggests.
    bool fullRange = false;
    ColourMatrix matrix = ColourMatrix::Bt709;
};
