#include "kernels/strong_bits_kernel.h"

#include <algorithm>
#include <cstddef>

#include "kernels/simd.h"

namespace {

constexpr uint32_t kGrid = 16;

inline bool strongAt(const uint8_t* up, const uint8_t* row, std::size_t x, int32_t limit) {
    if (x == 0) return false;
    const int32_t dx = int32_t{up[x - 1]} - int32_t{row[x]};
    const int32_t dy = int32_t{up[x]} - int32_t{row[x - 1]};
    return dx * dx + dy * dy > limit;
}

// Columns [from, to) of the row into bits already cleared.
void strongBitsPlainFrom(const uint8_t* up, const uint8_t* row, uint32_t from, uint32_t to, int32_t limit,
                         uint64_t* bits) {
    for (uint32_t x = from; x < to; ++x)
        bits[x / 64] |= uint64_t{strongAt(up, row, x, limit)} << (x % 64);
}

void strongBitsPlain(const uint8_t* up, const uint8_t* row, uint32_t width, int32_t limit, uint64_t* bits) {
    std::fill(bits, bits + (width + 63) / 64, 0);
    strongBitsPlainFrom(up, row, 0, width, limit, bits);
}

// Grid lines [from, to) into bits already cleared.
void gridStrongBitsPlainFrom(const uint8_t* up, const uint8_t* row, uint32_t from, uint32_t to, int32_t limit,
                             uint64_t* bits) {
    for (uint32_t m = from; m < to; ++m)
        bits[m / 64] |= uint64_t{strongAt(up, row, std::size_t{m} * kGrid, limit)} << (m % 64);
}

void gridStrongBitsPlain(const uint8_t* up, const uint8_t* row, uint32_t lines, int32_t limit, uint64_t* bits) {
    std::fill(bits, bits + (lines + 63) / 64, 0);
    gridStrongBitsPlainFrom(up, row, 0, lines, limit, bits);
}

#if FRAMEPROBE_X86
// Stores the bits of the columns (or lines) from i, all within one word: the
// word's first ones start it, so no word needs clearing beforehand.
inline void put(uint64_t* bits, uint32_t i, uint64_t strong) {
    if (i % 64 == 0)
        bits[i / 64] = strong;
    else
        bits[i / 64] |= strong << (i % 64);
}

// The plain bits from i on, up to the end of the word of i.
inline void finish(const uint8_t* up, const uint8_t* row, uint32_t i, uint32_t end, int32_t limit, uint64_t* bits,
                   void (*from)(const uint8_t*, const uint8_t*, uint32_t, uint32_t, int32_t, uint64_t*)) {
    if (i == end) return;
    if (i % 64 == 0) bits[i / 64] = 0;
    from(up, row, i, end, limit, bits);
}

// The energies are formed in 32-bit lanes whose low half holds up[x-1] - row[x]
// and high half up[x] - row[x-1]: one 16-bit multiply-add squares and sums both.

// Eight columns from x, whose samples from x - 1 are in the low bytes of the four
// vectors; bit i of the result tells column x + i.
FRAMEPROBE_AVX2 inline uint32_t strongOf8(__m128i upLeft, __m128i upHere, __m128i rowLeft, __m128i rowHere,
                                          __m256i limit) {
    const __m256i dx = _mm256_sub_epi32(_mm256_cvtepu8_epi32(upLeft), _mm256_cvtepu8_epi32(rowHere));
    const __m256i dy = _mm256_sub_epi32(_mm256_cvtepu8_epi32(upHere), _mm256_cvtepu8_epi32(rowLeft));
    const __m256i pairs = _mm256_blend_epi16(dx, _mm256_slli_epi32(dy, 16), 0xAA);
    const __m256i strong = _mm256_cmpgt_epi32(_mm256_madd_epi16(pairs, pairs), limit);
    return static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(strong)));
}

FRAMEPROBE_AVX2 inline __m128i load8(const uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

FRAMEPROBE_AVX2 void strongBitsAvx2(const uint8_t* up, const uint8_t* row, uint32_t width, int32_t limit,
                                    uint64_t* bits) {
    if (width < 8) return strongBitsPlain(up, row, width, limit, bits);
    const __m256i limits = _mm256_set1_epi32(limit);
    // The first eight columns: the samples from column -1, whose column is never
    // strong, are the first seven shifted up one byte.
    const __m128i up0 = load8(up), row0 = load8(row);
    put(bits, 0, strongOf8(_mm_slli_si128(up0, 1), up0, _mm_slli_si128(row0, 1), row0, limits) & ~1u);
    uint32_t x = 8;
    for (; x + 8 <= width; x += 8)
        put(bits, x, strongOf8(load8(up + x - 1), load8(up + x), load8(row + x - 1), load8(row + x), limits));
    finish(up, row, x, width, limit, bits, strongBitsPlainFrom);
}

// The sixteen samples from p in 32-bit lanes; with a mask, only those it picks
// are read and the others are 0.
FRAMEPROBE_AVX512 inline __m512i widen(const uint8_t* p) {
    return _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}
FRAMEPROBE_AVX512 inline __m512i widen(const uint8_t* p, __mmask64 loaded) {
    return _mm512_cvtepu8_epi32(_mm512_castsi512_si128(_mm512_maskz_loadu_epi8(loaded, p)));
}

// Sixteen columns, from their samples and those one column left of them; bit i of
// the result tells column i.
FRAMEPROBE_AVX512 inline uint32_t strongOf16(__m512i upLeft, __m512i upHere, __m512i rowLeft, __m512i rowHere,
                                             __m512i limit) {
    const __m512i dx = _mm512_sub_epi32(upLeft, rowHere);
    const __m512i dy = _mm512_sub_epi32(upHere, rowLeft);
    const __m512i pairs = _mm512_mask_blend_epi16(0xAAAAAAAA, dx, _mm512_slli_epi32(dy, 16));
    return _mm512_cmpgt_epi32_mask(_mm512_madd_epi16(pairs, pairs), limit);
}

// The sixteen (or fewer) columns from x up to width, reading only their own samples:
// column 0 reads nothing left of it and is never strong.
FRAMEPROBE_AVX512 inline void strongEdge(const uint8_t* up, const uint8_t* row, uint32_t x, uint32_t width,
                                         __m512i limit, uint64_t* bits) {
    const __mmask64 loaded = __mmask64{0xFFFF} >> (16 - std::min(width - x, 16u));
    const __mmask64 loadedLeft = x == 0 ? loaded & ~__mmask64{1} : loaded;
    const uint32_t strong = strongOf16(widen(up + x - 1, loadedLeft), widen(up + x, loaded),
                                       widen(row + x - 1, loadedLeft), widen(row + x, loaded), limit);
    put(bits, x, strong & static_cast<uint32_t>(loaded) & (x == 0 ? ~1u : ~0u));
}

FRAMEPROBE_AVX512 void strongBitsAvx512(const uint8_t* up, const uint8_t* row, uint32_t width, int32_t limit,
                                        uint64_t* bits) {
    if (width == 0) return;
    const __m512i limits = _mm512_set1_epi32(limit);
    strongEdge(up, row, 0, width, limits, bits);
    uint32_t x = 16;
    for (; x + 16 <= width; x += 16)
        put(bits, x, strongOf16(widen(up + x - 1), widen(up + x), widen(row + x - 1), widen(row + x), limits));
    if (x < width) strongEdge(up, row, x, width, limits, bits);
}

// The grid columns 16m take two samples of every sixteen from each row. With
// L 128-bit lanes to a vector (2 for AVX2, 4 for AVX-512), a load from
// 16m - 1 + (16L - 4)t holds in dword t of its lane i the samples from
// 16(m + Lt + i) - 1 on: four loads, t = 0..3, blended by dword, hold the first
// two samples of 4L grid columns, which one shuffle widens into the low and high
// halves of 32-bit lanes.

// For dword t of each 128-bit lane, its bytes 0 and 1 as 16-bit halves, in the
// order (0, 1) for `up` and (1, 0) for `row`: subtracted, they give the pairs.
constexpr char Z = -128;
#define FRAMEPROBE_GRID_ORDER(a, b) a, Z, b, Z, 4 + a, Z, 4 + b, Z, 8 + a, Z, 8 + b, Z, 12 + a, Z, 12 + b, Z

// The first two samples of eight grid columns from column x + 1 of p, in the halves
// of 32-bit lanes as `order` puts them; `first` the dwords of the first load to read.
FRAMEPROBE_AVX2 inline __m256i gridPairs8(const uint8_t* p, std::ptrdiff_t x, __m256i first, __m256i order) {
    auto at = [p, x](int t) { return p + x + 28 * t; };
    __m256i blended = _mm256_maskload_epi32(reinterpret_cast<const int*>(at(0)), first);
    blended = _mm256_blend_epi32(blended, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at(1))), 0x22);
    blended = _mm256_blend_epi32(blended, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at(2))), 0x44);
    blended = _mm256_blend_epi32(blended, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at(3))), 0x88);
    return _mm256_shuffle_epi8(blended, order);
}

FRAMEPROBE_AVX2 void gridStrongBitsAvx2(const uint8_t* up, const uint8_t* row, uint32_t lines, int32_t limit,
                                        uint64_t* bits) {
    const __m256i limits = _mm256_set1_epi32(limit);
    const __m256i upOrder = _mm256_setr_epi8(FRAMEPROBE_GRID_ORDER(0, 1), FRAMEPROBE_GRID_ORDER(0, 1));
    const __m256i rowOrder = _mm256_setr_epi8(FRAMEPROBE_GRID_ORDER(1, 0), FRAMEPROBE_GRID_ORDER(1, 0));
    // Dword 4i + t holds grid column 2t + i: this puts them in order.
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    // The first group reads nothing before column 0, whose column is never strong.
    const __m256i allButFirst = _mm256_setr_epi32(0, -1, -1, -1, -1, -1, -1, -1);
    const __m256i all = _mm256_set1_epi32(-1);
    uint32_t m = 0;
    for (; m + 8 <= lines; m += 8) {
        const std::ptrdiff_t x = std::ptrdiff_t{m} * kGrid - 1;
        const __m256i first = m == 0 ? allButFirst : all;
        const __m256i pairs = _mm256_sub_epi16(gridPairs8(up, x, first, upOrder), gridPairs8(row, x, first, rowOrder));
        const __m256i energies = _mm256_permutevar8x32_epi32(_mm256_madd_epi16(pairs, pairs), inOrder);
        const __m256i above = _mm256_cmpgt_epi32(energies, limits);
        uint32_t strong = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(above)));
        if (m == 0) strong &= ~1u;
        put(bits, m, strong);
    }
    finish(up, row, m, lines, limit, bits, gridStrongBitsPlainFrom);
}

#undef FRAMEPROBE_GRID_ORDER
#endif

constexpr KernelVariant<StrongBitsKernel> kStrongBits[] = {
    {"plain", CpuLevel::Plain, strongBitsPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, strongBitsAvx2},
    {"avx512", CpuLevel::Avx512, strongBitsAvx512},
#endif
};

constexpr KernelVariant<GridStrongBitsKernel> GRID_STRONG_BITS[] = {
    {"plain", CpuLevel::Plain, gridStrongBitsPlain},
#if FRAMEPROBE_X86
    // An AVX-512 variant of sixteen columns a step ran slower (42 us against 37 us a frame).
    {"avx2", CpuLevel::Avx2, gridStrongBitsAvx2},
#endif
};

}  // namespace

std::span<const KernelVariant<StrongBitsKernel>> strongBitsVariants() { return kStrongBits; }
std::span<const KernelVariant<GridStrongBitsKernel>> gridStrongBitsVariants() { return GRID_STRONG_BITS; }
