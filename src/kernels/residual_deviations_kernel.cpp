#include "kernels/residual_deviations_kernel.h"

#include <cmath>

#include "kernels/simd.h"

namespace {

constexpr int B = 8;
constexpr double kInterior = 36.0;  // (8 - 2) * (8 - 2) residuals per block

// Each weighted sum starts at zero and adds the nine products row by row; the
// residuals are summed in row order, as the reference planes are walked.
double blockResidualDeviation(const uint8_t* block, std::ptrdiff_t stride, const double* weights) {
    double sum = 0.0;
    double squares = 0.0;
    for (int y = 1; y < B - 1; ++y)
        for (int x = 1; x < B - 1; ++x) {
            double smooth = 0.0;
            for (int ky = 0; ky < 3; ++ky) {
                const uint8_t* window = block + (y - 1 + ky) * stride + (x - 1);
                for (int kx = 0; kx < 3; ++kx) smooth += static_cast<double>(window[kx]) * weights[ky * 3 + kx];
            }
            const double v = static_cast<double>(block[y * stride + x]) - smooth;
            sum += v;
            squares += v * v;
        }
    return std::sqrt((squares - sum * sum / kInterior) / (kInterior - 1.0));
}

void residualDeviationsPlain(const uint8_t* strip, std::ptrdiff_t stride, uint32_t blocks, const double* weights,
                             double* deviations) {
    for (uint32_t b = 0; b < blocks; ++b) deviations[b] = blockResidualDeviation(strip + b * B, stride, weights);
}

#if FRAMEPROBE_X86
// Four blocks at once, one per lane: every lane does its own block's steps in
// the plain order, and division and root are correctly rounded.
FRAMEPROBE_AVX2 void residualDeviationsAvx2(const uint8_t* strip, std::ptrdiff_t stride, uint32_t blocks,
                                            const double* weights, double* deviations) {
    __m256d w[9];
    for (int i = 0; i < 9; ++i) w[i] = _mm256_set1_pd(weights[i]);
    // Interleaves the bytes of two neighbouring blocks' rows: (x of one, x of the other).
    const __m128i pairs = _mm_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
    const __m256d n = _mm256_set1_pd(kInterior);
    const __m256d nLess1 = _mm256_set1_pd(kInterior - 1.0);
    uint32_t b = 0;
    for (; b + 4 <= blocks; b += 4) {
        __m256d samples[B][B];  // sample (x, y) of the four blocks
        for (int y = 0; y < B; ++y) {
            const uint8_t* row = strip + y * stride + b * B;
            const __m128i first = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)), pairs);
            const __m128i second =
                _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 16)), pairs);
            alignas(16) int32_t columns[B];  // bytes of column x of the four blocks
            _mm_store_si128(reinterpret_cast<__m128i*>(columns), _mm_unpacklo_epi16(first, second));
            _mm_store_si128(reinterpret_cast<__m128i*>(columns + 4), _mm_unpackhi_epi16(first, second));
            for (int x = 0; x < B; ++x)
                samples[y][x] = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(columns[x])));
        }
        __m256d sum = _mm256_setzero_pd();
        __m256d squares = _mm256_setzero_pd();
        for (int y = 1; y < B - 1; ++y)
            for (int x = 1; x < B - 1; ++x) {
                __m256d smooth = _mm256_setzero_pd();
                for (int ky = 0; ky < 3; ++ky)
                    for (int kx = 0; kx < 3; ++kx)
                        smooth = _mm256_add_pd(smooth, _mm256_mul_pd(samples[y - 1 + ky][x - 1 + kx], w[ky * 3 + kx]));
                const __m256d v = _mm256_sub_pd(samples[y][x], smooth);
                sum = _mm256_add_pd(sum, v);
                squares = _mm256_add_pd(squares, _mm256_mul_pd(v, v));
            }
        const __m256d variance =
            _mm256_div_pd(_mm256_sub_pd(squares, _mm256_div_pd(_mm256_mul_pd(sum, sum), n)), nLess1);
        _mm256_storeu_pd(deviations + b, _mm256_sqrt_pd(variance));
    }
    residualDeviationsPlain(strip + b * B, stride, blocks - b, weights, deviations + b);
}
#endif

constexpr KernelVariant<ResidualDeviationsKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, residualDeviationsPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, residualDeviationsAvx2},
#endif
};

}  // namespace

std::span<const KernelVariant<ResidualDeviationsKernel>> residualDeviationsVariants() { return kVariants; }
