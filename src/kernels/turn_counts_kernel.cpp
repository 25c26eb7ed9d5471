#include "kernels/turn_counts_kernel.h"

#include "kernels/simd.h"

namespace {

// Series [from, to), a strip of them at a time so that every step reads each row's
// strip in turn rather than one series across all rows.
void turnCountsOf(const uint16_t* const* rows, std::size_t steps, std::size_t from, std::size_t to, int32_t swing,
                  uint16_t* turns) {
    constexpr std::size_t kStrip = 64;
    for (std::size_t first = from; first < to; first += kStrip) {
        const std::size_t n = std::min(kStrip, to - first);
        int direction[kStrip] = {};
        int32_t extreme[kStrip];
        int32_t start[kStrip];
        uint16_t count[kStrip] = {};
        for (std::size_t j = 0; j < n; ++j) extreme[j] = start[j] = rows[0][first + j];
        for (std::size_t k = 1; k < steps; ++k) {
            for (std::size_t j = 0; j < n; ++j) {
                bool turned = false;
                turnStep(rows[k][first + j], swing, direction[j], extreme[j], start[j], turned);
                count[j] = static_cast<uint16_t>(count[j] + turned);
            }
        }
        std::copy(count, count + n, turns + first);
    }
}

void turnCountsPlain(const uint16_t* const* rows, std::size_t steps, std::size_t count, int32_t swing,
                     uint16_t* turns) {
    turnCountsOf(rows, steps, 0, count, swing, turns);
}

#if FRAMEPROBE_X86
// The series go in strips of this many vectors, each step reading a run of every row
// rather than one vector of it: the loads of a step come from a few whole cache lines and
// the strip's vectors turn independently of one another.
constexpr std::size_t kStripVectors = 8;

// turnStep on 16 series in 16-bit lanes: the levels' differences, and half of them, fit. A
// move back of the swing and of half the move before it (`back`) turns the direction, to
// the sign of the move, and counts when the direction was set.
struct Turns16 {
    __m256i extreme, start, direction, turned;
};

FRAMEPROBE_AVX2 inline void turnStep16(Turns16& t, __m256i level, __m256i minMove) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i d = _mm256_sub_epi16(level, t.extreme);
    const __m256i onward = _mm256_cmpgt_epi16(_mm256_sign_epi16(d, t.direction), zero);
    const __m256i need =
        _mm256_max_epi16(minMove, _mm256_srli_epi16(_mm256_abs_epi16(_mm256_sub_epi16(t.extreme, t.start)), 1));
    const __m256i back = _mm256_andnot_si256(_mm256_or_si256(onward, _mm256_cmpgt_epi16(need, _mm256_abs_epi16(d))),
                                             _mm256_set1_epi16(-1));
    t.turned = _mm256_sub_epi16(t.turned, _mm256_andnot_si256(_mm256_cmpeq_epi16(t.direction, zero), back));
    t.direction = _mm256_blendv_epi8(t.direction, _mm256_sign_epi16(_mm256_set1_epi16(1), d), back);
    t.start = _mm256_blendv_epi8(t.start, t.extreme, back);
    t.extreme = _mm256_blendv_epi8(t.extreme, level, _mm256_or_si256(onward, back));
}

FRAMEPROBE_AVX2 void turnCountsAvx2(const uint16_t* const* rows, std::size_t steps, std::size_t count, int32_t swing,
                                    uint16_t* turns) {
    const __m256i minMove = _mm256_set1_epi16(static_cast<int16_t>(swing));
    std::size_t i = 0;
    while (i + 16 <= count) {
        const std::size_t vectors = std::min(kStripVectors, (count - i) / 16);
        Turns16 strip[kStripVectors];
        for (std::size_t v = 0; v < vectors; ++v) {
            const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[0] + i + 16 * v));
            strip[v] = Turns16{first, first, _mm256_setzero_si256(), _mm256_setzero_si256()};
        }
        for (std::size_t k = 1; k < steps; ++k)
            for (std::size_t v = 0; v < vectors; ++v)
                turnStep16(strip[v], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + i + 16 * v)),
                           minMove);
        for (std::size_t v = 0; v < vectors; ++v)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(turns + i + 16 * v), strip[v].turned);
        i += 16 * vectors;
    }
    turnCountsOf(rows, steps, i, count, swing, turns);
}

// The same on 32 series, the direction kept as masks of the rising and the falling series.
struct Turns32 {
    __m512i extreme, start, turned;
    __mmask32 rising, falling;
};

FRAMEPROBE_AVX512 inline void turnStep32(Turns32& t, __m512i level, __m512i minMove) {
    const __m512i zero = _mm512_setzero_si512();
    const __m512i d = _mm512_sub_epi16(level, t.extreme);
    const __mmask32 up = _mm512_cmpgt_epi16_mask(d, zero);
    const __mmask32 down = _mm512_cmplt_epi16_mask(d, zero);
    const __mmask32 onward = (up & t.rising) | (down & t.falling);
    const __m512i need =
        _mm512_max_epi16(minMove, _mm512_srli_epi16(_mm512_abs_epi16(_mm512_sub_epi16(t.extreme, t.start)), 1));
    const __mmask32 back = ~onward & _mm512_cmpge_epi16_mask(_mm512_abs_epi16(d), need);
    t.turned = _mm512_mask_add_epi16(t.turned, back & (t.rising | t.falling), t.turned, _mm512_set1_epi16(1));
    t.rising = (t.rising & ~back) | (back & up);
    t.falling = (t.falling & ~back) | (back & down);
    t.start = _mm512_mask_mov_epi16(t.start, back, t.extreme);
    t.extreme = _mm512_mask_mov_epi16(t.extreme, onward | back, level);
}

FRAMEPROBE_AVX512 void turnCountsAvx512(const uint16_t* const* rows, std::size_t steps, std::size_t count,
                                        int32_t swing, uint16_t* turns) {
    const __m512i minMove = _mm512_set1_epi16(static_cast<int16_t>(swing));
    std::size_t i = 0;
    while (i + 32 <= count) {
        const std::size_t vectors = std::min(kStripVectors, (count - i) / 32);
        Turns32 strip[kStripVectors];
        for (std::size_t v = 0; v < vectors; ++v) {
            const __m512i first = _mm512_loadu_si512(rows[0] + i + 32 * v);
            strip[v] = Turns32{first, first, _mm512_setzero_si512(), 0, 0};
        }
        for (std::size_t k = 1; k < steps; ++k)
            for (std::size_t v = 0; v < vectors; ++v)
                turnStep32(strip[v], _mm512_loadu_si512(rows[k] + i + 32 * v), minMove);
        for (std::size_t v = 0; v < vectors; ++v) _mm512_storeu_si512(turns + i + 32 * v, strip[v].turned);
        i += 32 * vectors;
    }
    turnCountsOf(rows, steps, i, count, swing, turns);
}
#endif

constexpr KernelVariant<TurnCountsKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, turnCountsPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, turnCountsAvx2},
    {"avx512", CpuLevel::Avx512, turnCountsAvx512},
#endif
};

}  // namespace

std::span<const KernelVariant<TurnCountsKernel>> turnCountsVariants() { return kVariants; }
