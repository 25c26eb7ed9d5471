#include "kernels/block_sums_kernel.h"

#include <cstddef>
#include <cstdlib>

#include "kernels/simd.h"

namespace {

constexpr uint32_t B = 8;

// Blocks [fromBlock, toBlock) of the block row whose first sample row is `top`.
void blockRowPlain(const Plane& frame, const uint8_t* top, uint32_t fromBlock, uint32_t toBlock, int32_t* out) {
    for (uint32_t bx = fromBlock; bx < toBlock; ++bx) {
        int32_t sum = 0;  // at most 64 * 255
        const uint8_t* block = top + std::size_t{bx} * B;
        for (uint32_t y = 0; y < B; ++y, block += frame.stride)
            for (uint32_t x = 0; x < B; ++x) sum += block[x];
        out[bx] = sum;
    }
}

// The differences of blocks [fromBlock, toBlock) of the block rows whose first sample rows
// are `top` and `topBefore`.
void blockRowDiffsPlain(const Plane& current, const Plane& previous, const uint8_t* top, const uint8_t* topBefore,
                        uint32_t fromBlock, uint32_t toBlock, int32_t* out) {
    for (uint32_t bx = fromBlock; bx < toBlock; ++bx) {
        int32_t sum = 0;  // at most 64 * 255
        const uint8_t* block = top + std::size_t{bx} * B;
        const uint8_t* before = topBefore + std::size_t{bx} * B;
        for (uint32_t y = 0; y < B; ++y, block += current.stride, before += previous.stride)
            for (uint32_t x = 0; x < B; ++x) sum += std::abs(int32_t{block[x]} - int32_t{before[x]});
        out[bx] = sum;
    }
}

void blockSums8Plain(const Plane& frame, int32_t* sums) {
    const uint32_t nbx = frame.width / B;
    const uint32_t nby = frame.height / B;
    for (uint32_t by = 0; by < nby; ++by)
        blockRowPlain(frame, frame.data + std::ptrdiff_t{by} * B * frame.stride, 0, nbx, sums + std::size_t{by} * nbx);
}

void blockSumsAndDiffs8Plain(const Plane& current, const Plane& previous, int32_t* sums, int32_t* absDiffSums) {
    const uint32_t nbx = current.width / B;
    const uint32_t nby = current.height / B;
    for (uint32_t by = 0; by < nby; ++by) {
        const uint8_t* top = current.data + std::ptrdiff_t{by} * B * current.stride;
        const uint8_t* topBefore = previous.data + std::ptrdiff_t{by} * B * previous.stride;
        blockRowPlain(current, top, 0, nbx, sums + std::size_t{by} * nbx);
        blockRowDiffsPlain(current, previous, top, topBefore, 0, nbx, absDiffSums + std::size_t{by} * nbx);
    }
}

#if FRAMEPROBE_X86
// Each 64-bit lane of a sum of absolute differences against zero totals 8 bytes,
// one row of one block; eight rows make four block sums.
FRAMEPROBE_AVX2 void blockSums8Avx2(const Plane& frame, int32_t* sums) {
    const uint32_t nbx = frame.width / B;
    const uint32_t nby = frame.height / B;
    const __m256i lows = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    for (uint32_t by = 0; by < nby; ++by) {
        const uint8_t* top = frame.data + std::ptrdiff_t{by} * B * frame.stride;
        int32_t* out = sums + std::size_t{by} * nbx;
        uint32_t bx = 0;
        for (; bx + 4 <= nbx; bx += 4) {
            const uint8_t* at = top + std::size_t{bx} * B;
            __m256i total = _mm256_setzero_si256();
            for (uint32_t y = 0; y < B; ++y, at += frame.stride) {
                const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
                total = _mm256_add_epi64(total, _mm256_sad_epu8(v, _mm256_setzero_si256()));
            }
            const __m256i packed = _mm256_permutevar8x32_epi32(total, lows);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + bx), _mm256_castsi256_si128(packed));
        }
        blockRowPlain(frame, top, bx, nbx, out);
    }
}

// Both sums from the same loads: against zero and against the frame before. Loading more
// than it computes, it runs no faster on AVX-512.
FRAMEPROBE_AVX2 void blockSumsAndDiffs8Avx2(const Plane& current, const Plane& previous, int32_t* sums,
                                            int32_t* absDiffSums) {
    const uint32_t nbx = current.width / B;
    const uint32_t nby = current.height / B;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lows = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    for (uint32_t by = 0; by < nby; ++by) {
        const uint8_t* top = current.data + std::ptrdiff_t{by} * B * current.stride;
        const uint8_t* topBefore = previous.data + std::ptrdiff_t{by} * B * previous.stride;
        int32_t* out = sums + std::size_t{by} * nbx;
        int32_t* diffs = absDiffSums + std::size_t{by} * nbx;
        uint32_t bx = 0;
        for (; bx + 4 <= nbx; bx += 4) {
            const uint8_t* at = top + std::size_t{bx} * B;
            const uint8_t* before = topBefore + std::size_t{bx} * B;
            __m256i total = zero;
            __m256i diff = zero;
            for (uint32_t y = 0; y < B; ++y, at += current.stride, before += previous.stride) {
                const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
                const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(before));
                total = _mm256_add_epi64(total, _mm256_sad_epu8(v, zero));
                diff = _mm256_add_epi64(diff, _mm256_sad_epu8(v, w));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + bx),
                             _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(total, lows)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(diffs + bx),
                             _mm256_castsi256_si128(_mm256_permutevar8x32_epi32(diff, lows)));
        }
        blockRowPlain(current, top, bx, nbx, out);
        blockRowDiffsPlain(current, previous, top, topBefore, bx, nbx, diffs);
    }
}
#endif

constexpr KernelVariant<BlockSumsAndDiffs8Kernel> kSumsAndDiffsVariants[] = {
    {"plain", CpuLevel::Plain, blockSumsAndDiffs8Plain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, blockSumsAndDiffs8Avx2},
#endif
};

constexpr KernelVariant<BlockSums8Kernel> kVariants[] = {
    {"plain", CpuLevel::Plain, blockSums8Plain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, blockSums8Avx2},
#endif
};

}  // namespace

std::span<const KernelVariant<BlockSums8Kernel>> blockSums8Variants() { return kVariants; }
std::span<const KernelVariant<BlockSumsAndDiffs8Kernel>> blockSumsAndDiffs8Variants() { return kSumsAndDiffsVariants; }
