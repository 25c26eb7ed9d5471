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

// The gradients of all lanes, or of the lanes `keep` sets.
FRAMEPROBE_AVX2 inline __m256i kept(__m256i gradients) { return gradients; }
FRAMEPROBE_AVX2 inline __m256i kept(__m256i gradients, __m256i keep) { return _mm256_and_si256(gradients, keep); }

// The squared gradients of the sixteen outputs from column x, in pairs summed into
// 32-bit lanes; `keep...` may clear the lanes of outputs already counted.
template <typename... Keep>
FRAMEPROBE_AVX2 inline __m256i stepEnergy(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t x,
                                         Keep... keep) {
    const __m256i u0 = widen(up + x - 1), u1 = widen(up + x), u2 = widen(up + x + 1);
    const __m256i m0 = widen(mid + x - 1), m2 = widen(mid + x + 1);
    const __m256i d0 = widen(down + x - 1), d1 = widen(down + x), d2 = widen(down + x + 1);
    const __m256i right = _mm256_add_epi16(_mm256_add_epi16(u2, d2), _mm256_slli_epi16(m2, 1));
    const __m256i left = _mm256_add_epi16(_mm256_add_epi16(u0, d0), _mm256_slli_epi16(m0, 1));
    const __m256i below = _mm256_add_epi16(_mm256_add_epi16(d0, d2), _mm256_slli_epi16(d1, 1));
    const __m256i above = _mm256_add_epi16(_mm256_add_epi16(u0, u2), _mm256_slli_epi16(u1, 1));
    const __m256i gx = kept(_mm256_sub_epi16(right, left), keep...);
    const __m256i gy = kept(_mm256_sub_epi16(below, above), keep...);
    return _mm256_add_epi32(_mm256_madd_epi16(gx, gx), _mm256_madd_epi16(gy, gy));
}

// Sixteen outputs a step from 16-bit gradients (at most 1020 in size); each 32-bit
// lane gains at most 4 * 1020^2 a step, so 512 steps stay below 2^32. The last
// outputs of a row take one more step that ends on the row's last output and
// keeps only the lanes not yet counted.
FRAMEPROBE_AVX2 uint64_t rowEnergyAvx2(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t width) {
    if (width < 18) return rowEnergyPlain(up, mid, down, 1, width - 1);
    __m256i wide = _mm256_setzero_si256();
    uint32_t x = 1;
    while (x + 17 <= width) {
        __m256i sums = _mm256_setzero_si256();
        for (uint32_t steps = 0; steps < 512 && x + 17 <= width; ++steps, x += 16)
            sums = _mm256_add_epi32(sums, stepEnergy(up, mid, down, x));
        wide = addWidened(wide, sums);
    }
    if (x < width - 1) {
        // Sixteen lanes of 0, then sixteen set: read from 16 - n on, the first n lanes are 0.
        static constexpr int16_t KEEP_FROM[32] = {0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
                                                  -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        const uint32_t last = width - 17;
        const __m256i keep = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(KEEP_FROM + 16 - (x - last)));
        wide = addWidened(wide, stepEnergy(up, mid, down, last, keep));
    }
    return laneTotal(wide);
}

// 32 samples widened to 16 bits; with a mask, only the samples it sets are read and
// the others are 0.
FRAMEPROBE_AVX512 inline __m512i widen32(const uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}
FRAMEPROBE_AVX512 inline __m512i widen32(const uint8_t* p, __mmask64 loaded) {
    return _mm512_cvtepu8_epi16(_mm512_castsi512_si256(_mm512_maskz_loadu_epi8(loaded, p)));
}

// The 32 outputs from column x, their squared gradients in pairs summed into 32-bit
// lanes. `loaded...` are the samples of the outputs to count (all, or the first
// few with the rest read as 0, which gives those outputs no gradient).
template <typename... Loaded>
FRAMEPROBE_AVX512 inline __m512i stepEnergy32(const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t x,
                                             Loaded... loaded) {
    const __m512i u0 = widen32(up + x - 1, loaded...), u1 = widen32(up + x, loaded...),
                  u2 = widen32(up + x + 1, loaded...);
    const __m512i m0 = widen32(mid + x - 1, loaded...), m2 = widen32(mid + x + 1, loaded...);
    const __m512i d0 = widen32(down + x - 1, loaded...), d1 = widen32(down + x, loaded...),
                  d2 = widen32(down + x + 1, loaded...);
    const __m512i right = _mm512_add_epi16(_mm512_add_epi16(u2, d2), _mm512_slli_epi16(m2, 1));
    const __m512i left = _mm512_add_epi16(_mm512_add_epi16(u0, d0), _mm512_slli_epi16(m0, 1));
    const __m512i below = _mm512_add_epi16(_mm512_add_epi16(d0, d2), _mm512_slli_epi16(d1, 1));
    const __m512i above = _mm512_add_epi16(_mm512_add_epi16(u0, u2), _mm512_slli_epi16(u1, 1));
    const __m512i gx = _mm512_sub_epi16(right, left);
    const __m512i gy = _mm512_sub_epi16(below, above);
    return _mm512_add_epi32(_mm512_madd_epi16(gx, gx), _mm512_madd_epi16(gy, gy));
}

// The AVX2 steps on 32 outputs at a time: each 32-bit lane gains no more a step.
// The fewer than 32 outputs left at the end of a row take one step that reads only
// their own samples.
FRAMEPROBE_AVX512 uint64_t rowEnergyAvx512(const uint8_t* up, const uint8_t* mid, const uint8_t* down,
                                           uint32_t width) {
    __m512i wide = _mm512_setzero_si512();
    uint32_t x = 1;
    while (x + 33 <= width) {
        __m512i sums = _mm512_setzero_si512();
        for (uint32_t steps = 0; steps < 512 && x + 33 <= width; ++steps, x += 32)
            sums = _mm512_add_epi32(sums, stepEnergy32(up, mid, down, x));
        wide = addWidened(wide, sums);
    }
    if (x < width - 1) wide = addWidened(wide, stepEnergy32(up, mid, down, x, (__mmask64{1} << (width - 1 - x)) - 1));
    return static_cast<uint64_t>(_mm512_reduce_add_epi64(wide));
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
