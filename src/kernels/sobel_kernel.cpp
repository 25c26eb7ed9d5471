#include "kernels/sobel_kernel.h"

#include <cstddef>

#include "kernels/simd.h"

namespace {

// Output rows a vector step covers.
constexpr int kBand = 4;

// Columns [from, to) of the interior row between `up` and `down`.
uint64_t rowEnergyPlain(const uint8_t* up, const uint8_t* mid, const uint8_t* down, size_t from, size_t to) {
    uint64_t total = 0;
    // A 64-bit index lets the compiler vectorise the loop on its own.
    for (size_t x = from; x < to; ++x) {
        const int32_t gx = (up[x + 1] + 2 * mid[x + 1] + down[x + 1]) - (up[x - 1] + 2 * mid[x - 1] + down[x - 1]);
        const int32_t gy = (down[x - 1] + 2 * down[x] + down[x + 1]) - (up[x - 1] + 2 * up[x] + up[x + 1]);
        total += static_cast<uint32_t>(gx * gx + gy * gy);
    }
    return total;
}

// The energy of the ROWS output rows below rows[0].
template <int ROWS>
uint64_t rowsEnergyPlain(const uint8_t* const* rows, uint32_t width) {
    uint64_t total = 0;
    for (int r = 0; r < ROWS; ++r) total += rowEnergyPlain(rows[r], rows[r + 1], rows[r + 2], 1, width - 1);
    return total;
}

#if FRAMEPROBE_X86
// The vector steps take the gradients apart by rows: with, for each row r,
// E_r(x) = r[x+1] - r[x-1] and H_r(x) = r[x-1] + 2 r[x] + r[x+1],
//   gx = E_up + 2 E_mid + E_down and gy = H_down - H_up,
// so that a step over kBand output rows works out each of its kBand + 2 rows once.
// All of them fit 16-bit lanes (at most 1020 in size).

FRAMEPROBE_AVX2 inline __m256i widen(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// The gradients of all lanes, or of the lanes `keep` sets.
FRAMEPROBE_AVX2 inline __m256i kept(__m256i gradients) { return gradients; }
FRAMEPROBE_AVX2 inline __m256i kept(__m256i gradients, __m256i keep) { return _mm256_and_si256(gradients, keep); }

// The squared gradients of the sixteen outputs from column x of the ROWS output
// rows below rows[0], in pairs summed into 32-bit lanes: each lane gains at most
// ROWS * 4 * 1020^2. `keep...` may clear the lanes of outputs already counted.
template <int ROWS, typename... Keep>
[[gnu::always_inline]] FRAMEPROBE_AVX2 inline __m256i stepEnergy(const uint8_t* const* rows, uint32_t x, Keep... keep) {
    __m256i e[ROWS + 2], h[ROWS + 2];
    for (int r = 0; r < ROWS + 2; ++r) {
        const __m256i left = widen(rows[r] + x - 1), here = widen(rows[r] + x), right = widen(rows[r] + x + 1);
        e[r] = _mm256_sub_epi16(right, left);
        h[r] = _mm256_add_epi16(_mm256_add_epi16(left, right), _mm256_slli_epi16(here, 1));
    }
    __m256i sums = _mm256_setzero_si256();
    for (int r = 0; r < ROWS; ++r) {
        const __m256i gx =
            kept(_mm256_add_epi16(_mm256_add_epi16(e[r], e[r + 2]), _mm256_slli_epi16(e[r + 1], 1)), keep...);
        const __m256i gy = kept(_mm256_sub_epi16(h[r + 2], h[r]), keep...);
        sums = _mm256_add_epi32(sums, _mm256_add_epi32(_mm256_madd_epi16(gx, gx), _mm256_madd_epi16(gy, gy)));
    }
    return sums;
}

// Sixteen outputs a step, 512 / ROWS steps between emptying the 32-bit lanes so
// that they stay below 2^32. The last outputs of a row take one more step that
// ends on the row's last output and keeps only the lanes not yet counted.
template <int ROWS>
FRAMEPROBE_AVX2 uint64_t rowsEnergyAvx2(const uint8_t* const* rows, uint32_t width) {
    if (width < 18) return rowsEnergyPlain<ROWS>(rows, width);
    __m256i wide = _mm256_setzero_si256();
    uint32_t x = 1;
    while (x + 17 <= width) {
        __m256i sums = _mm256_setzero_si256();
        for (uint32_t steps = 0; steps < 512 / ROWS && x + 17 <= width; ++steps, x += 16)
            sums = _mm256_add_epi32(sums, stepEnergy<ROWS>(rows, x));
        wide = addWidened(wide, sums);
    }
    if (x < width - 1) {
        // Sixteen lanes of 0, then sixteen set: read from 16 - n on, the first n lanes are 0.
        static constexpr int16_t kKeepFrom[32] = {0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
                                                  -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        const uint32_t last = width - 17;
        const __m256i keep = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kKeepFrom + 16 - (x - last)));
        wide = addWidened(wide, stepEnergy<ROWS>(rows, last, keep));
    }
    return laneTotal(wide);
}

FRAMEPROBE_AVX512 inline __m512i widen32(const uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

FRAMEPROBE_AVX512 inline __m512i kept(__m512i gradients) { return gradients; }
FRAMEPROBE_AVX512 inline __m512i kept(__m512i gradients, __mmask32 keep) {
    return _mm512_maskz_mov_epi16(keep, gradients);
}

// The AVX2 step on 32 outputs.
template <int ROWS, typename... Keep>
[[gnu::always_inline]] FRAMEPROBE_AVX512 inline __m512i stepEnergy32(const uint8_t* const* rows, uint32_t x,
                                                                     Keep... keep) {
    __m512i e[ROWS + 2], h[ROWS + 2];
    for (int r = 0; r < ROWS + 2; ++r) {
        const __m512i left = widen32(rows[r] + x - 1), here = widen32(rows[r] + x), right = widen32(rows[r] + x + 1);
        e[r] = _mm512_sub_epi16(right, left);
        h[r] = _mm512_add_epi16(_mm512_add_epi16(left, right), _mm512_slli_epi16(here, 1));
    }
    __m512i sums = _mm512_setzero_si512();
    for (int r = 0; r < ROWS; ++r) {
        const __m512i gx =
            kept(_mm512_add_epi16(_mm512_add_epi16(e[r], e[r + 2]), _mm512_slli_epi16(e[r + 1], 1)), keep...);
        const __m512i gy = kept(_mm512_sub_epi16(h[r + 2], h[r]), keep...);
        sums = _mm512_add_epi32(sums, _mm512_add_epi32(_mm512_madd_epi16(gx, gx), _mm512_madd_epi16(gy, gy)));
    }
    return sums;
}

// The AVX2 steps on 32 outputs at a time: each 32-bit lane gains no more a step.
template <int ROWS>
FRAMEPROBE_AVX512 uint64_t rowsEnergyAvx512(const uint8_t* const* rows, uint32_t width) {
    if (width < 34) return rowsEnergyPlain<ROWS>(rows, width);
    __m512i wide = _mm512_setzero_si512();
    uint32_t x = 1;
    while (x + 33 <= width) {
        __m512i sums = _mm512_setzero_si512();
        for (uint32_t steps = 0; steps < 512 / ROWS && x + 33 <= width; ++steps, x += 32)
            sums = _mm512_add_epi32(sums, stepEnergy32<ROWS>(rows, x));
        wide = addWidened(wide, sums);
    }
    if (x < width - 1) {
        const uint32_t last = width - 33;
        wide = addWidened(wide, stepEnergy32<ROWS>(rows, last, ~__mmask32{0} << (x - last)));
    }
    return static_cast<uint64_t>(_mm512_reduce_add_epi64(wide));
}
#endif

// The energy of the output rows below rows[0]: one (rows[0..2]) or kBand
// (rows[0..kBand+1]).
using RowsEnergy = uint64_t(const uint8_t* const* rows, uint32_t width);

uint64_t sobelEnergyWith(const Plane& frame, RowsEnergy* oneRow, RowsEnergy* band) {
    if (frame.width < 3 || frame.height < 3) return 0;
    uint64_t total = 0;
    const uint8_t* rows[kBand + 2];
    auto rowsFrom = [&](uint32_t y, int count) {
        for (int r = 0; r < count; ++r) rows[r] = frame.data + std::ptrdiff_t{y - 1 + r} * frame.stride;
        return rows;
    };
    uint32_t y = 1;
    for (; y + kBand < frame.height; y += kBand) total += band(rowsFrom(y, kBand + 2), frame.width);
    for (; y + 1 < frame.height; ++y) total += oneRow(rowsFrom(y, 3), frame.width);
    return total;
}


uint64_t sobelEnergyPlain(const Plane& frame) {
    return sobelEnergyWith(frame, rowsEnergyPlain<1>, rowsEnergyPlain<kBand>);
}

#if FRAMEPROBE_X86
uint64_t sobelEnergyAvx2(const Plane& frame) {
    return sobelEnergyWith(frame, rowsEnergyAvx2<1>, rowsEnergyAvx2<kBand>);
}
uint64_t sobelEnergyAvx512(const Plane& frame) {
    return sobelEnergyWith(frame, rowsEnergyAvx512<1>, rowsEnergyAvx512<kBand>);
}
#endif

constexpr KernelVariant<SobelEnergyKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, sobelEnergyPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, sobelEnergyAvx2},
    {"avx512", CpuLevel::Avx512, sobelEnergyAvx512},
#endif
};

}  // namespace

std::span<const KernelVariant<SobelEnergyKernel>> sobelEnergyVariants() { return kVariants; }

uint64_t sobelEnergyFast(const Plane& frame) {
    static SobelEnergyKernel* const chosen = bestVariant(sobelEnergyVariants());
    return chosen(frame);
}
