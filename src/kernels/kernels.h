// The hot loops of the indicators, as named kernels behind one table of
// function pointers. Every table computes exactly what the plain one does;
// faster tables exist for the instruction sets a CPU may have, and the program
// picks one at start.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/image.h"

struct Kernels {
    const char* level;  // "plain", or the instruction set the table is built for
    // Sum over i < n of (a[i] - b[i])^2.
    uint64_t (*squaredDifferenceSum)(const uint8_t* a, const uint8_t* b, std::size_t n);
    // Sum of the samples and sum of their squares.
    void (*sumAndSquareSum)(const Plane& plane, uint64_t& sum, uint64_t& squares);
    // Sum of |current - previous| over every whole blockSize x blockSize block,
    // written row by row into `sums` ((width / blockSize) x (height / blockSize)).
    void (*blockAbsDiffSums)(const Plane& current, const Plane& previous, uint32_t blockSize, int32_t* sums);
};

const Kernels& plainKernels();

// Every table this CPU can run, the plain one first.
const std::vector<const Kernels*>& availableKernels();

// The table the program uses: the fastest available one, or the plain one when
// the environment sets FRAMEPROBE_CPU=plain.
const Kernels& activeKernels();
