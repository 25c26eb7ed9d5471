// Kernels simple enough for the compiler to vectorise: one body each, built
// plain and, for x86-64, once more for AVX2.
#include <algorithm>
#include <cstdlib>

#include "kernels/kernels.h"
#include "kernels/simd.h"

namespace {

// 65536 squares of at most 65025 each still fit in 32 bits.
constexpr std::size_t kChunk = 65536;

[[gnu::always_inline]] inline uint64_t squaredDifferenceSum(const uint8_t* a, const uint8_t* b, std::size_t n) {
    uint64_t total = 0;
    for (std::size_t start = 0; start < n; start += kChunk) {
        const std::size_t end = std::min(n, start + kChunk);
        uint32_t partial = 0;
        for (std::size_t i = start; i < end; ++i) {
            const int32_t d = static_cast<int32_t>(a[i]) - static_cast<int32_t>(b[i]);
            partial += static_cast<uint32_t>(d * d);
        }
        total += partial;
    }
    return total;
}

[[gnu::always_inline]] inline void sumAndSquareSum(const Plane& plane, uint64_t& sum, uint64_t& squares) {
    sum = 0;
    squares = 0;
    for (uint32_t y = 0; y < plane.height; ++y) {
        const uint8_t* row = plane.data + y * plane.stride;
        for (uint32_t start = 0; start < plane.width; start += kChunk) {
            const uint32_t end = static_cast<uint32_t>(std::min<std::size_t>(plane.width, start + kChunk));
            uint32_t s = 0;
            uint32_t q = 0;
            for (uint32_t x = start; x < end; ++x) {
                const uint32_t v = row[x];
                s += v;
                q += v * v;
            }
            sum += s;
            squares += q;
        }
    }
}


// Sum over rows y >= 1 and columns x >= 1 of the Roberts cross energy.
[[gnu::always_inline]] inline uint64_t robertsEnergy(const Plane& frame) {
    // A chunk of this many energies (each at most 130050) fits a 32-bit total.
    constexpr std::size_t kLineChunk = 16384;
    const std::size_t w = frame.width;
    uint64_t total = 0;
    for (uint32_t y = 1; y < frame.height; ++y) {
        const uint8_t* up = frame.data + std::ptrdiff_t{y - 1} * frame.stride;
        const uint8_t* row = up + frame.stride;
        // Indices of the pointer's width let the compiler vectorise the loop.
        for (std::size_t start = 1; start < w; start += kLineChunk) {
            const std::size_t end = w - start > kLineChunk ? start + kLineChunk : w;
            uint32_t chunk = 0;
            for (std::size_t x = start; x < end; ++x) {
                // Each square (at most 255^2) fits 16 bits, which lets the loop
                // run on 16-bit lanes.
                const auto dx = static_cast<int16_t>(up[x - 1] - row[x]);
                const auto dy = static_cast<int16_t>(up[x] - row[x - 1]);
                chunk += uint32_t{static_cast<uint16_t>(dx * dx)} + uint32_t{static_cast<uint16_t>(dy * dy)};
            }
            total += chunk;
        }
    }
    return total;
}

uint64_t robertsEnergyPlain(const Plane& frame) { return robertsEnergy(frame); }
uint64_t squaredDifferenceSumPlain(const uint8_t* a, const uint8_t* b, std::size_t n) {
    return squaredDifferenceSum(a, b, n);
}
void sumAndSquareSumPlain(const Plane& plane, uint64_t& sum, uint64_t& squares) {
    sumAndSquareSum(plane, sum, squares);
}

#if FRAMEPROBE_X86
// 32 columns a step: both differences in 16-bit lanes, their squares summed in
// pairs into 32-bit lanes, each taking at most 8 * 255^2 a step and moved to
// 64-bit lanes before it could wrap.
FRAMEPROBE_AVX2 inline __m256i robertsStep(__m256i upLeft, __m256i upHere, __m256i rowLeft, __m256i rowHere) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i dxLow = _mm256_sub_epi16(_mm256_unpacklo_epi8(upLeft, zero), _mm256_unpacklo_epi8(rowHere, zero));
    const __m256i dxHigh = _mm256_sub_epi16(_mm256_unpackhi_epi8(upLeft, zero), _mm256_unpackhi_epi8(rowHere, zero));
    const __m256i dyLow = _mm256_sub_epi16(_mm256_unpacklo_epi8(upHere, zero), _mm256_unpacklo_epi8(rowLeft, zero));
    const __m256i dyHigh = _mm256_sub_epi16(_mm256_unpackhi_epi8(upHere, zero), _mm256_unpackhi_epi8(rowLeft, zero));
    return _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(dxLow, dxLow), _mm256_madd_epi16(dxHigh, dxHigh)),
                            _mm256_add_epi32(_mm256_madd_epi16(dyLow, dyLow), _mm256_madd_epi16(dyHigh, dyHigh)));
}

FRAMEPROBE_AVX2 inline __m256i load32(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// The last columns of a row take one more step that ends on the row's last column,
// its samples cleared in the columns already counted.
FRAMEPROBE_AVX2 uint64_t robertsEnergyAvx2(const Plane& frame) {
    constexpr uint32_t kStepsPerFlush = 8192;
    // 32 bytes of 0, then 32 set: read from 32 - n on, the first n bytes are 0.
    static constexpr uint8_t kKeepFrom[64] = {
        0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
        0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
        255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    const __m256i zero = _mm256_setzero_si256();
    __m256i wide = zero;
    uint64_t tail = 0;
    for (uint32_t y = 1; y < frame.height; ++y) {
        const uint8_t* up = frame.data + std::ptrdiff_t{y - 1} * frame.stride;
        const uint8_t* row = up + frame.stride;
        uint32_t x = 1;
        while (x + 32 <= frame.width) {
            __m256i narrow = zero;
            for (uint32_t step = 0; step < kStepsPerFlush && x + 32 <= frame.width; ++step, x += 32)
                narrow = _mm256_add_epi32(
                    narrow, robertsStep(load32(up + x - 1), load32(up + x), load32(row + x - 1), load32(row + x)));
            wide = addWidened(wide, narrow);
        }
        if (x == frame.width) continue;
        if (frame.width < 33) {
            // Columns x and on, as columns 1 and on of the two rows from x - 1.
            tail += robertsEnergy(Plane{up + x - 1, frame.stride, frame.width - (x - 1), 2});
            continue;
        }
        const uint32_t last = frame.width - 32;
        const __m256i keep = load32(kKeepFrom + 32 - (x - last));
        const __m256i upLeft = _mm256_and_si256(load32(up + last - 1), keep);
        const __m256i upHere = _mm256_and_si256(load32(up + last), keep);
        const __m256i rowLeft = _mm256_and_si256(load32(row + last - 1), keep);
        const __m256i rowHere = _mm256_and_si256(load32(row + last), keep);
        wide = addWidened(wide, robertsStep(upLeft, upHere, rowLeft, rowHere));
    }
    return tail + laneTotal(wide);
}
// 32 samples a step: the byte distances, widened and squared in pairs into 32-bit
// lanes, each taking at most 4 * 255^2 a step and moved to 64-bit lanes before it
// could wrap.
FRAMEPROBE_AVX2 uint64_t squaredDifferenceSumAvx2(const uint8_t* a, const uint8_t* b, std::size_t n) {
    constexpr uint32_t kStepsPerFlush = 8192;
    const __m256i zero = _mm256_setzero_si256();
    __m256i wide = zero;
    std::size_t i = 0;
    while (i + 32 <= n) {
        __m256i narrow = zero;
        for (uint32_t step = 0; step < kStepsPerFlush && i + 32 <= n; ++step, i += 32) {
            const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
            const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
            const __m256i d = _mm256_or_si256(_mm256_subs_epu8(x, y), _mm256_subs_epu8(y, x));
            const __m256i low = _mm256_unpacklo_epi8(d, zero);
            const __m256i high = _mm256_unpackhi_epi8(d, zero);
            narrow = _mm256_add_epi32(narrow, _mm256_madd_epi16(low, low));
            narrow = _mm256_add_epi32(narrow, _mm256_madd_epi16(high, high));
        }
        wide = addWidened(wide, narrow);
    }
    return laneTotal(wide) + squaredDifferenceSum(a + i, b + i, n - i);
}
// Sums by sums of absolute differences against zero; squares by 16-bit
// multiply-adds into 32-bit lanes, each taking at most 4 * 255^2 per 32
// samples and moved to 64-bit lanes before it could wrap.
FRAMEPROBE_AVX2 void sumAndSquareSumAvx2(const Plane& plane, uint64_t& sum, uint64_t& squares) {
    constexpr uint32_t kStepsPerFlush = 8192;
    const __m256i zero = _mm256_setzero_si256();
    __m256i sums = zero;
    __m256i wide = zero;
    uint64_t tailSum = 0;
    uint64_t tailSquares = 0;
    for (uint32_t y = 0; y < plane.height; ++y) {
        const uint8_t* row = plane.data + y * plane.stride;
        uint32_t x = 0;
        while (x + 32 <= plane.width) {
            __m256i narrow = zero;
            for (uint32_t step = 0; step < kStepsPerFlush && x + 32 <= plane.width; ++step, x += 32) {
                const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x));
                sums = _mm256_add_epi64(sums, _mm256_sad_epu8(v, zero));
                const __m256i low = _mm256_unpacklo_epi8(v, zero);
                const __m256i high = _mm256_unpackhi_epi8(v, zero);
                narrow = _mm256_add_epi32(narrow, _mm256_madd_epi16(low, low));
                narrow = _mm256_add_epi32(narrow, _mm256_madd_epi16(high, high));
            }
            wide = addWidened(wide, narrow);
        }
        for (; x < plane.width; ++x) {
            tailSum += row[x];
            tailSquares += uint64_t{row[x]} * row[x];
        }
    }
    sum = tailSum + laneTotal(sums);
    squares = tailSquares + laneTotal(wide);
}

// AVX-512 pays where a step does enough arithmetic per load (on block sums it
// does not). The AVX2 steps on 64 samples at a time: the 32-bit lanes take no
// more a step than there, so the same flush bound holds.
FRAMEPROBE_AVX512 void sumAndSquareSumAvx512(const Plane& plane, uint64_t& sum, uint64_t& squares) {
    constexpr uint32_t kStepsPerFlush = 8192;
    const __m512i zero = _mm512_setzero_si512();
    __m512i sums = zero;
    __m512i wide = zero;
    uint64_t tailSum = 0;
    uint64_t tailSquares = 0;
    for (uint32_t y = 0; y < plane.height; ++y) {
        const uint8_t* row = plane.data + y * plane.stride;
        uint32_t x = 0;
        while (x + 64 <= plane.width) {
            __m512i narrow = zero;
            for (uint32_t step = 0; step < kStepsPerFlush && x + 64 <= plane.width; ++step, x += 64) {
                const __m512i v = _mm512_loadu_si512(row + x);
                sums = _mm512_add_epi64(sums, _mm512_sad_epu8(v, zero));
                const __m512i low = _mm512_unpacklo_epi8(v, zero);
                const __m512i high = _mm512_unpackhi_epi8(v, zero);
                narrow = _mm512_add_epi32(narrow, _mm512_madd_epi16(low, low));
                narrow = _mm512_add_epi32(narrow, _mm512_madd_epi16(high, high));
            }
            wide = addWidened(wide, narrow);
        }
        for (; x < plane.width; ++x) {
            tailSum += row[x];
            tailSquares += uint64_t{row[x]} * row[x];
        }
    }
    sum = tailSum + static_cast<uint64_t>(_mm512_reduce_add_epi64(sums));
    squares = tailSquares + static_cast<uint64_t>(_mm512_reduce_add_epi64(wide));
}

FRAMEPROBE_AVX512 inline __m512i robertsStep(__m512i upLeft, __m512i upHere, __m512i rowLeft, __m512i rowHere) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i dxLow = _mm512_sub_epi16(_mm512_unpacklo_epi8(upLeft, zero), _mm512_unpacklo_epi8(rowHere, zero));
    const __m512i dxHigh = _mm512_sub_epi16(_mm512_unpackhi_epi8(upLeft, zero), _mm512_unpackhi_epi8(rowHere, zero));
    const __m512i dyLow = _mm512_sub_epi16(_mm512_unpacklo_epi8(upHere, zero), _mm512_unpacklo_epi8(rowLeft, zero));
    const __m512i dyHigh = _mm512_sub_epi16(_mm512_unpackhi_epi8(upHere, zero), _mm512_unpackhi_epi8(rowLeft, zero));
    return _mm512_add_epi32(_mm512_add_epi32(_mm512_madd_epi16(dxLow, dxLow), _mm512_madd_epi16(dxHigh, dxHigh)),
                            _mm512_add_epi32(_mm512_madd_epi16(dyLow, dyLow), _mm512_madd_epi16(dyHigh, dyHigh)));
}

// The AVX2 steps on 64 columns, the last step of a row too.
FRAMEPROBE_AVX512 uint64_t robertsEnergyAvx512(const Plane& frame) {
    constexpr uint32_t kStepsPerFlush = 8192;
    const __m512i zero = _mm512_setzero_si512();
    __m512i wide = zero;
    uint64_t tail = 0;
    for (uint32_t y = 1; y < frame.height; ++y) {
        const uint8_t* up = frame.data + std::ptrdiff_t{y - 1} * frame.stride;
        const uint8_t* row = up + frame.stride;
        uint32_t x = 1;
        while (x + 64 <= frame.width) {
            __m512i narrow = zero;
            for (uint32_t step = 0; step < kStepsPerFlush && x + 64 <= frame.width; ++step, x += 64)
                narrow =
                    _mm512_add_epi32(narrow, robertsStep(_mm512_loadu_si512(up + x - 1), _mm512_loadu_si512(up + x),
                                                         _mm512_loadu_si512(row + x - 1), _mm512_loadu_si512(row + x)));
            wide = addWidened(wide, narrow);
        }
        if (x == frame.width) continue;
        if (frame.width < 65) {
            // Columns x and on, as columns 1 and on of the two rows from x - 1.
            tail += robertsEnergy(Plane{up + x - 1, frame.stride, frame.width - (x - 1), 2});
            continue;
        }
        const uint32_t last = frame.width - 64;
        const __mmask64 keep = ~__mmask64{0} << (x - last);
        wide = addWidened(wide, robertsStep(_mm512_maskz_mov_epi8(keep, _mm512_loadu_si512(up + last - 1)),
                                            _mm512_maskz_mov_epi8(keep, _mm512_loadu_si512(up + last)),
                                            _mm512_maskz_mov_epi8(keep, _mm512_loadu_si512(row + last - 1)),
                                            _mm512_maskz_mov_epi8(keep, _mm512_loadu_si512(row + last))));
    }
    return tail + static_cast<uint64_t>(_mm512_reduce_add_epi64(wide));
}

#endif

const KernelVariant<RobertsEnergyKernel> kRobertsEnergy[] = {
    {"plain", CpuLevel::Plain, robertsEnergyPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, robertsEnergyAvx2},
    {"avx512", CpuLevel::Avx512, robertsEnergyAvx512},
#endif
};
const KernelVariant<SquaredDifferenceSumKernel> kSquaredDifferenceSum[] = {
    {"plain", CpuLevel::Plain, squaredDifferenceSumPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, squaredDifferenceSumAvx2},
#endif
};
const KernelVariant<SumAndSquareSumKernel> kSumAndSquareSum[] = {
    {"plain", CpuLevel::Plain, sumAndSquareSumPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, sumAndSquareSumAvx2},
    {"avx512", CpuLevel::Avx512, sumAndSquareSumAvx512},
#endif
};

}  // namespace

std::span<const KernelVariant<SquaredDifferenceSumKernel>> squaredDifferenceSumVariants() {
    return kSquaredDifferenceSum;
}
std::span<const KernelVariant<SumAndSquareSumKernel>> sumAndSquareSumVariants() { return kSumAndSquareSum; }
std::span<const KernelVariant<RobertsEnergyKernel>> robertsEnergyVariants() { return kRobertsEnergy; }
