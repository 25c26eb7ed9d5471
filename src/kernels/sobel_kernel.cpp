#include "kernels/sobel_kernel.h"

#include <cstddef>

#include "kernels/simd.h"

namespace {

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

uint64_t rowEnergyWholePlain(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t width) {
    return rowEnergyPlain(up, mid, down, 1, width - 1);
}

#if FRAMEPROBE_X86
FRAMEPROBE_AVX2 inline __m256i widen(const uint8_t* p) {
    return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

// Pairs of bytes weighted and added into 16-bit lanes by multiply-adds, which
// spare the shuffle port that widening every load would keep busy.
struct PairWeights {
    __m256i minusPlus, minusPlusTwice, plusPlus;
};

FRAMEPROBE_AVX2 inline PairWeights pairWeights() {
    return {_mm256_set1_epi16(0x01ff), _mm256_set1_epi16(0x02fe), _mm256_set1_epi16(0x0101)};
}

// gx^2 + gy^2 summed in pairs into 32-bit lanes, for the outputs whose samples are
// interleaved in `ups` (up[x-1], up[x+1]), `mids`, `downs` and `centres` (up[x], down[x]).
FRAMEPROBE_AVX2 inline __m256i pairEnergy(__m256i ups, __m256i mids, __m256i downs, __m256i centres,
                                          const PairWeights& w) {
    const __m256i gx = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_maddubs_epi16(ups, w.minusPlus), _mm256_maddubs_epi16(downs, w.minusPlus)),
        _mm256_maddubs_epi16(mids, w.minusPlusTwice));
    const __m256i gy = _mm256_add_epi16(
        _mm256_sub_epi16(_mm256_maddubs_epi16(downs, w.plusPlus), _mm256_maddubs_epi16(ups, w.plusPlus)),
        _mm256_maddubs_epi16(centres, w.minusPlusTwice));
    return _mm256_add_epi32(_mm256_madd_epi16(gx, gx), _mm256_madd_epi16(gy, gy));
}

FRAMEPROBE_AVX2 inline __m256i load32(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Sixteen outputs a step from 16-bit gradients (at most 1020 in size); each 32-bit
// lane gains at most 4 * 1020^2 a step, so 512 steps stay below 2^32. Before them,
// 32 outputs a step by pair weights: 8 * 1020^2 a lane and step, 256 steps.
FRAMEPROBE_AVX2 uint64_t rowEnergyAvx2(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t width) {
    __m256i wide = _mm256_setzero_si256();
    uint32_t x = 1;
    const PairWeights weights = pairWeights();
    while (x + 33 <= width) {
        __m256i sums = _mm256_setzero_si256();
        for (uint32_t steps = 0; steps < 256 && x + 33 <= width; ++steps, x += 32) {
            const __m256i u0 = load32(up + x - 1), u1 = load32(up + x), u2 = load32(up + x + 1);
            const __m256i m0 = load32(mid + x - 1), m2 = load32(mid + x + 1);
            const __m256i d0 = load32(down + x - 1), d1 = load32(down + x), d2 = load32(down + x + 1);
            sums = _mm256_add_epi32(sums, pairEnergy(_mm256_unpacklo_epi8(u0, u2), _mm256_unpacklo_epi8(m0, m2),
                                                     _mm256_unpacklo_epi8(d0, d2), _mm256_unpacklo_epi8(u1, d1),
                                                     weights));
            sums = _mm256_add_epi32(sums, pairEnergy(_mm256_unpackhi_epi8(u0, u2), _mm256_unpackhi_epi8(m0, m2),
                                                     _mm256_unpackhi_epi8(d0, d2), _mm256_unpackhi_epi8(u1, d1),
                                                     weights));
        }
        wide = addWidened(wide, sums);
    }
    while (x + 17 <= width) {
        __m256i sums = _mm256_setzero_si256();
        for (uint32_t steps = 0; steps < 512 && x + 17 <= width; ++steps, x += 16) {
            const __m256i u0 = widen(up + x - 1), u1 = widen(up + x), u2 = widen(up + x + 1);
            const __m256i m0 = widen(mid + x - 1), m2 = widen(mid + x + 1);
            const __m256i d0 = widen(down + x - 1), d1 = widen(down + x), d2 = widen(down + x + 1);
            const __m256i right = _mm256_add_epi16(_mm256_add_epi16(u2, d2), _mm256_slli_epi16(m2, 1));
            const __m256i left = _mm256_add_epi16(_mm256_add_epi16(u0, d0), _mm256_slli_epi16(m0, 1));
            const __m256i below = _mm256_add_epi16(_mm256_add_epi16(d0, d2), _mm256_slli_epi16(d1, 1));
            const __m256i above = _mm256_add_epi16(_mm256_add_epi16(u0, u2), _mm256_slli_epi16(u1, 1));
            const __m256i gx = _mm256_sub_epi16(right, left);
            const __m256i gy = _mm256_sub_epi16(below, above);
            sums = _mm256_add_epi32(sums, _mm256_add_epi32(_mm256_madd_epi16(gx, gx), _mm256_madd_epi16(gy, gy)));
        }
        wide = addWidened(wide, sums);
    }
    return laneTotal(wide) + rowEnergyPlain(up, mid, down, x, width - 1);
}

FRAMEPROBE_AVX512 inline __m512i widen32(const uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

FRAMEPROBE_AVX512 inline __m512i pairEnergy(__m512i ups, __m512i mids, __m512i downs, __m512i centres) {
    const __m512i minusPlus = _mm512_set1_epi16(0x01ff), minusPlusTwice = _mm512_set1_epi16(0x02fe);
    const __m512i plusPlus = _mm512_set1_epi16(0x0101);
    const __m512i gx = _mm512_add_epi16(
        _mm512_add_epi16(_mm512_maddubs_epi16(ups, minusPlus), _mm512_maddubs_epi16(downs, minusPlus)),
        _mm512_maddubs_epi16(mids, minusPlusTwice));
    const __m512i gy = _mm512_add_epi16(
        _mm512_sub_epi16(_mm512_maddubs_epi16(downs, plusPlus), _mm512_maddubs_epi16(ups, plusPlus)),
        _mm512_maddubs_epi16(centres, minusPlusTwice));
    return _mm512_add_epi32(_mm512_madd_epi16(gx, gx), _mm512_madd_epi16(gy, gy));
}

FRAMEPROBE_AVX512 inline __m512i load64(const uint8_t* p) { return _mm512_loadu_si512(p); }

// The AVX2 steps on twice the outputs at a time: each 32-bit lane gains no more a step.
FRAMEPROBE_AVX512 uint64_t rowEnergyAvx512(const uint8_t* up, const uint8_t* mid, const uint8_t* down,
                                           uint32_t width) {
    __m512i wide = _mm512_setzero_si512();
    uint32_t x = 1;
    while (x + 65 <= width) {
        __m512i sums = _mm512_setzero_si512();
        for (uint32_t steps = 0; steps < 256 && x + 65 <= width; ++steps, x += 64) {
            const __m512i u0 = load64(up + x - 1), u1 = load64(up + x), u2 = load64(up + x + 1);
            const __m512i m0 = load64(mid + x - 1), m2 = load64(mid + x + 1);
            const __m512i d0 = load64(down + x - 1), d1 = load64(down + x), d2 = load64(down + x + 1);
            sums = _mm512_add_epi32(sums, pairEnergy(_mm512_unpacklo_epi8(u0, u2), _mm512_unpacklo_epi8(m0, m2),
                                                     _mm512_unpacklo_epi8(d0, d2), _mm512_unpacklo_epi8(u1, d1)));
            sums = _mm512_add_epi32(sums, pairEnergy(_mm512_unpackhi_epi8(u0, u2), _mm512_unpackhi_epi8(m0, m2),
                                                     _mm512_unpackhi_epi8(d0, d2), _mm512_unpackhi_epi8(u1, d1)));
        }
        wide = addWidened(wide, sums);
    }
    while (x + 33 <= width) {
        __m512i sums = _mm512_setzero_si512();
        for (uint32_t steps = 0; steps < 512 && x + 33 <= width; ++steps, x += 32) {
            const __m512i u0 = widen32(up + x - 1), u1 = widen32(up + x), u2 = widen32(up + x + 1);
            const __m512i m0 = widen32(mid + x - 1), m2 = widen32(mid + x + 1);
            const __m512i d0 = widen32(down + x - 1), d1 = widen32(down + x), d2 = widen32(down + x + 1);
            const __m512i right = _mm512_add_epi16(_mm512_add_epi16(u2, d2), _mm512_slli_epi16(m2, 1));
            const __m512i left = _mm512_add_epi16(_mm512_add_epi16(u0, d0), _mm512_slli_epi16(m0, 1));
            const __m512i below = _mm512_add_epi16(_mm512_add_epi16(d0, d2), _mm512_slli_epi16(d1, 1));
            const __m512i above = _mm512_add_epi16(_mm512_add_epi16(u0, u2), _mm512_slli_epi16(u1, 1));
            const __m512i gx = _mm512_sub_epi16(right, left);
            const __m512i gy = _mm512_sub_epi16(below, above);
            sums = _mm512_add_epi32(sums, _mm512_add_epi32(_mm512_madd_epi16(gx, gx), _mm512_madd_epi16(gy, gy)));
        }
        wide = addWidened(wide, sums);
    }
    return static_cast<uint64_t>(_mm512_reduce_add_epi64(wide)) + rowEnergyPlain(up, mid, down, x, width - 1);
}
#endif

using RowEnergy = uint64_t(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t width);

uint64_t sobelEnergyWith(const Plane& frame, RowEnergy* rowEnergy) {
    if (frame.width < 3 || frame.height < 3) return 0;
    uint64_t total = 0;
    for (uint32_t y = 1; y + 1 < frame.height; ++y) {
        const uint8_t* mid = frame.data + y * frame.stride;
        total += rowEnergy(mid - frame.stride, mid, mid + frame.stride, frame.width);
    }
    return total;
}

uint64_t sobelEnergyPlain(const Plane& frame) { return sobelEnergyWith(frame, rowEnergyWholePlain); }

#if FRAMEPROBE_X86
uint64_t sobelEnergyAvx2(const Plane& frame) { return sobelEnergyWith(frame, rowEnergyAvx2); }
uint64_t sobelEnergyAvx512(const Plane& frame) { return sobelEnergyWith(frame, rowEnergyAvx512); }
#endif

constexpr KernelVariant<SobelEnergyKernel> VARIANTS[] = {
    {"plain", CpuLevel::Plain, sobelEnergyPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, sobelEnergyAvx2},
    {"avx512", CpuLevel::Avx512, sobelEnergyAvx512},
#endif
};

}  // namespace

std::span<const KernelVariant<SobelEnergyKernel>> sobelEnergyVariants() { return VARIANTS; }

uint64_t sobelEnergyFast(const Plane& frame) {
    static SobelEnergyKernel* const chosen = bestVariant(sobelEnergyVariants());
    return chosen(frame);
}
