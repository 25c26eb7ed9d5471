// How often each byte value occurs, for histograms of small values.
#pragma once

#include <cstddef>
#include <cstdint>

// counts[v] = how many of the n values equal v; every value must be below N. Four
// tallies are kept, so that a run of one value is no chain of dependent increments.
template <std::size_t N>
void tallyBytes(const uint8_t* values, uint64_t n, uint64_t (&counts)[N]) {
    uint64_t partial[4][N] = {};
    uint64_t i = 0;
    for (; i + 4 <= n; i += 4)
        for (uint32_t t = 0; t < 4; ++t) ++partial[t][values[i + t]];
    for (; i < n; ++i) ++partial[0][values[i]];
    for (std::size_t v = 0; v < N; ++v) counts[v] = partial[0][v] + partial[1][v] + partial[2][v] + partial[3][v];
}
