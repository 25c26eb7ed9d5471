#include "kernels/block_stats_kernel.h"

#include <cmath>
#include <cstddef>

#include "kernels/simd.h"

namespace {

// The expression and order of calculateStdDevs: the 32-bit totals read as signed
// values, then (Q - S * S / N) / (N - 1) and its root, one double step at a time.
inline double deviation(uint32_t sum, uint32_t squares, double n) {
    const double total = static_cast<double>(static_cast<int32_t>(sum));
    const double totalSquares = static_cast<double>(static_cast<int32_t>(squares));
    return std::sqrt((totalSquares - total * total / n) / (n - 1.0));
}

// Blocks [fromBlock, toBlock) of the block row whose first sample row is `top`.
void blockRowPlain(const Plane& frame, const uint8_t* top, uint32_t size, uint32_t fromBlock, uint32_t toBlock,
                   double* out) {
    const double n = static_cast<double>(uint64_t{size} * size);
    for (uint32_t bx = fromBlock; bx < toBlock; ++bx) {
        // Wrapping unsigned totals, exact in any order like the reference's.
        uint32_t sum = 0;
        uint32_t squares = 0;
        for (size_t y = 0; y < size; ++y) {
            const uint8_t* block = top + static_cast<std::ptrdiff_t>(y) * frame.stride + size_t{bx} * size;
            for (size_t x = 0; x < size; ++x) {
                const uint32_t v = block[x];
                sum += v;
                squares += v * v;
            }
        }
        out[bx] = deviation(sum, squares, n);
    }
}

void blockDeviationsPlain(const Plane& frame, uint32_t size, double* deviations) {
    const uint32_t nbx = frame.width / size;
    const uint32_t nby = frame.height / size;
    for (uint32_t by = 0; by < nby; ++by)
        blockRowPlain(frame, frame.data + uint64_t{by} * size * frame.stride, size, 0, nbx,
                      deviations + uint64_t{by} * nbx);
}

#if FRAMEPROBE_X86
// Four deviations at once; every step is a single correctly rounded operation, so
// each lane equals the scalar expression.
FRAMEPROBE_AVX2 void deviations4(__m128i sums, __m128i squares, double n, double* out) {
    const __m256d total = _mm256_cvtepi32_pd(sums);
    const __m256d totalSquares = _mm256_cvtepi32_pd(squares);
    const __m256d mean = _mm256_div_pd(_mm256_mul_pd(total, total), _mm256_set1_pd(n));
    const __m256d variance = _mm256_div_pd(_mm256_sub_pd(totalSquares, mean), _mm256_set1_pd(n - 1.0));
    _mm256_storeu_pd(out, _mm256_sqrt_pd(variance));
}

FRAMEPROBE_AVX2 inline __m256i squarePairs(__m128i bytes) {
    const __m256i wide = _mm256_cvtepu8_epi16(bytes);
    return _mm256_madd_epi16(wide, wide);
}

// The low 32 bits of each 64-bit lane.
FRAMEPROBE_AVX2 inline __m128i lowHalves(__m256i v) {
    return _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6)));
}

// Four 8x8 blocks from 32 bytes a row.
FRAMEPROBE_AVX2 void fourBlocks8(const Plane& frame, const uint8_t* at, double* out) {
    __m256i sums = _mm256_setzero_si256();
    __m256i squares01 = _mm256_setzero_si256();
    __m256i squares23 = _mm256_setzero_si256();
    for (uint32_t y = 0; y < 8; ++y, at += frame.stride) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(v, _mm256_setzero_si256()));
        squares01 = _mm256_add_epi32(squares01, squarePairs(_mm256_castsi256_si128(v)));
        squares23 = _mm256_add_epi32(squares23, squarePairs(_mm256_extracti128_si256(v, 1)));
    }
    // Per 128-bit half: [b0 b0 b2 b2 | b1 b1 b3 b3], then [B0 B2 . . | B1 B3 . .].
    const __m256i pairs = _mm256_hadd_epi32(squares01, squares23);
    const __m256i totals = _mm256_hadd_epi32(pairs, pairs);
    const __m128i squares =
        _mm_unpacklo_epi32(_mm256_castsi256_si128(totals), _mm256_extracti128_si256(totals, 1));
    deviations4(lowHalves(sums), squares, 64.0, out);
}

// Four 16x16 blocks from 64 bytes a row.
FRAMEPROBE_AVX2 void fourBlocks16(const Plane& frame, const uint8_t* at, double* out) {
    __m256i sums01 = _mm256_setzero_si256();
    __m256i sums23 = _mm256_setzero_si256();
    __m256i squares[4] = {};
    for (uint32_t y = 0; y < 16; ++y, at += frame.stride) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 32));
        sums01 = _mm256_add_epi64(sums01, _mm256_sad_epu8(a, _mm256_setzero_si256()));
        sums23 = _mm256_add_epi64(sums23, _mm256_sad_epu8(b, _mm256_setzero_si256()));
        squares[0] = _mm256_add_epi32(squares[0], squarePairs(_mm256_castsi256_si128(a)));
        squares[1] = _mm256_add_epi32(squares[1], squarePairs(_mm256_extracti128_si256(a, 1)));
        squares[2] = _mm256_add_epi32(squares[2], squarePairs(_mm256_castsi256_si128(b)));
        squares[3] = _mm256_add_epi32(squares[3], squarePairs(_mm256_extracti128_si256(b, 1)));
    }
    const __m128i sums = _mm_hadd_epi32(lowHalves(sums01), lowHalves(sums23));
    // Three rounds of pairwise sums leave [Q0 Q1 Q2 Q3] split over the two halves.
    const __m256i totals =
        _mm256_hadd_epi32(_mm256_hadd_epi32(squares[0], squares[1]), _mm256_hadd_epi32(squares[2], squares[3]));
    const __m128i sq = _mm_add_epi32(_mm256_castsi256_si128(totals), _mm256_extracti128_si256(totals, 1));
    deviations4(sums, sq, 256.0, out);
}

FRAMEPROBE_AVX2 void blockDeviationsAvx2(const Plane& frame, uint32_t size, double* deviations) {
    if (size != 8 && size != 16) return blockDeviationsPlain(frame, size, deviations);
    const uint32_t nbx = frame.width / size;
    const uint32_t nby = frame.height / size;
    for (uint32_t by = 0; by < nby; ++by) {
        const uint8_t* top = frame.data + uint64_t{by} * size * frame.stride;
        double* out = deviations + uint64_t{by} * nbx;
        uint32_t bx = 0;
        for (; bx + 4 <= nbx; bx += 4) {
            if (size == 8)
                fourBlocks8(frame, top + uint64_t{bx} * 8, out + bx);
            else
                fourBlocks16(frame, top + uint64_t{bx} * 16, out + bx);
        }
        blockRowPlain(frame, top, size, bx, nbx, out);
    }
}
#endif

constexpr KernelVariant<BlockDeviationsKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, blockDeviationsPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, blockDeviationsAvx2},
#endif
};

}  // namespace

std::span<const KernelVariant<BlockDeviationsKernel>> blockDeviationsVariants() { return kVariants; }

void blockDeviationsFast(const Plane& frame, uint32_t size, double* deviations) {
    static BlockDeviationsKernel* const chosen = bestVariant(blockDeviationsVariants());
    chosen(frame, size, deviations);
}
