#include "kernels/blur_kernel.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "kernels/simd.h"

namespace {

constexpr uint32_t kBlock = 16;

// A row and its neighbours, as the edge test sees them. Row 0 has no horizontal
// differences, so on row 1 the row above offers none to compare with.
struct Rows {
    const uint8_t* up;
    const uint8_t* row;
    const uint8_t* down;
    bool firstRow;
};

// What the wide pass finds on 64 samples x .. x + 63, bit i for sample x + i:
// the steep ones (horizontal difference larger than the limit) and the signs of
// the horizontal differences.
struct Chunk {
    uint64_t steep;
    uint64_t rising;
    uint64_t falling;
};

// Where the wide pass puts chunk k's fields: steep[k], rising[k], falling[k].
struct ChunkArrays {
    uint64_t* steep;
    uint64_t* rising;
    uint64_t* falling;

    void store(uint32_t k, const Chunk& c) const {
        steep[k] = c.steep;
        rising[k] = c.rising;
        falling[k] = c.falling;
    }
};

// The passes that differ between variants.
struct BlurPasses {
    // Sum over x = 1 .. width - 1 of (row[x] - row[x - 1])^2.
    uint64_t (*squaredDifferences)(const uint8_t* row, uint32_t width);
    // The chunks of samples x + 64k, k < count, into out[k]; reads row[x - 1] up
    // to row[x + 64 count - 1].
    void (*chunks)(const uint8_t* row, uint32_t x, uint32_t count, uint32_t limit, const ChunkArrays& out);
};

inline int32_t difference(const uint8_t* row, uint32_t x) { return int32_t{row[x]} - int32_t{row[x - 1]}; }

// Comparing sizes of differences compares their squares.
inline uint32_t size(int32_t d) { return static_cast<uint32_t>(d < 0 ? -d : d); }

uint64_t squaredDifferencesPlain(const uint8_t* row, uint32_t width) {
    uint64_t total = 0;
    for (uint32_t x = 1; x < width; ++x) {
        const int32_t d = difference(row, x);
        total += static_cast<uint32_t>(d * d);
    }
    return total;
}

// The peak test on sample x >= 1 of size s; column 0 has no difference. Which
// steep samples are peaks follows no pattern: no branches.
inline bool isPeak(const Rows& r, uint32_t x, uint32_t s) {
    const uint32_t left = x == 1 ? 0 : size(difference(r.row, x - 1));
    const uint32_t vertical = size(int32_t{r.row[x]} - int32_t{r.up[x]});
    const uint32_t above = r.firstRow ? 0 : size(difference(r.up, x));
    const bool horizontalPeak = (left <= s) & (s > size(difference(r.row, x + 1))) & (vertical <= s);
    const bool verticalPeak = (above <= s) & (s > size(difference(r.down, x)));
    return horizontalPeak | verticalPeak;
}

// Bit i set when byte i of the eight from `at` is 1 (the others are 0).
inline uint64_t packed(const uint8_t* at) {
    uint64_t bytes = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&bytes, at, 8);
    } else {
        for (uint32_t i = 0; i < 8; ++i) bytes |= uint64_t{at[i]} << (8 * i);
    }
    // Byte i's bit moves to bit 56 + i; no two products meet, so nothing carries.
    return (bytes * 0x0102040810204080) >> 56;
}

// The wide pass on count <= 64 samples from x >= 1, in byte flags that compilers
// turn into vector code, then bits.
Chunk chunkPlain(const uint8_t* row, uint32_t x, uint32_t count, uint32_t limit) {
    uint8_t steep[64] = {};
    uint8_t rising[64] = {};
    uint8_t falling[64] = {};
    const uint8_t* now = row + x;
    const uint8_t* left = now - 1;
    const auto bound = static_cast<uint8_t>(limit);
    for (uint32_t i = 0; i < count; ++i) {
        // Byte arithmetic throughout, in the saturating forms vector units have.
        const auto up = static_cast<uint8_t>(now[i] > left[i] ? now[i] - left[i] : 0);
        const auto down = static_cast<uint8_t>(left[i] > now[i] ? left[i] - now[i] : 0);
        steep[i] = static_cast<uint8_t>(up | down) > bound;
        rising[i] = up != 0;
        falling[i] = down != 0;
    }
    Chunk c{0, 0, 0};
    for (uint32_t i = 0; i < 64; i += 8) {
        c.steep |= packed(steep + i) << i;
        c.rising |= packed(rising + i) << i;
        c.falling |= packed(falling + i) << i;
    }
    return c;
}

void chunksPlain(const uint8_t* row, uint32_t x, uint32_t count, uint32_t limit, const ChunkArrays& out) {
    for (uint32_t k = 0; k < count; ++k) out.store(k, chunkPlain(row, x + 64 * k, 64, limit));
}

#if FRAMEPROBE_X86
FRAMEPROBE_AVX2 uint64_t squaredDifferencesAvx2(const uint8_t* row, uint32_t width) {
    __m256i wide = _mm256_setzero_si256();
    uint32_t x = 1;
    // Each 32-bit lane gains at most 2 * 255^2 per step; 4096 steps stay below 2^31.
    while (x + 16 <= width) {
        __m256i sums = _mm256_setzero_si256();
        for (uint32_t steps = 0; steps < 4096 && x + 16 <= width; ++steps, x += 16) {
            const __m256i now = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)));
            const __m256i left = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x - 1)));
            const __m256i d = _mm256_sub_epi16(now, left);
            sums = _mm256_add_epi32(sums, _mm256_madd_epi16(d, d));
        }
        wide = addWidened(wide, sums);
    }
    // Columns x and on, as columns 1 and on of the row from x - 1.
    return laneTotal(wide) + squaredDifferencesPlain(row + x - 1, width - (x - 1));
}

FRAMEPROBE_AVX2 inline __m256i load32(const uint8_t* at) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// Bit i set when a <= b in byte i (unsigned).
FRAMEPROBE_AVX2 inline uint32_t atMost(__m256i a, __m256i b) {
    return static_cast<uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_subs_epu8(a, b), _mm256_setzero_si256())));
}

FRAMEPROBE_AVX2 void chunksAvx2(const uint8_t* row, uint32_t x, uint32_t count, uint32_t limit,
                                const ChunkArrays& out) {
    const __m256i bound = _mm256_set1_epi8(static_cast<char>(limit));
    for (uint32_t k = 0; k < count; ++k) {
        Chunk c{0, 0, 0};
        for (uint32_t half = 0; half < 2; ++half) {
            const __m256i now = load32(row + x + 64 * k + 32 * half);
            const __m256i left = load32(row + x + 64 * k + 32 * half - 1);
            const __m256i up = _mm256_subs_epu8(now, left);
            const __m256i down = _mm256_subs_epu8(left, now);
            const __m256i zero = _mm256_setzero_si256();
            c.steep |= uint64_t{~atMost(_mm256_or_si256(up, down), bound)} << (32 * half);
            c.rising |= uint64_t{~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(up, zero)))}
                        << (32 * half);
            c.falling |= uint64_t{~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(down, zero)))}
                         << (32 * half);
        }
        out.store(k, c);
    }
}

// The AVX2 passes on 32 and 64 samples a step; the lanes' bounds are the same.
FRAMEPROBE_AVX512 uint64_t squaredDifferencesAvx512(const uint8_t* row, uint32_t width) {
    __m512i wide = _mm512_setzero_si512();
    uint32_t x = 1;
    while (x + 32 <= width) {
        __m512i sums = _mm512_setzero_si512();
        for (uint32_t steps = 0; steps < 4096 && x + 32 <= width; ++steps, x += 32) {
            const __m512i now = _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x)));
            const __m512i left =
                _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x - 1)));
            const __m512i d = _mm512_sub_epi16(now, left);
            sums = _mm512_add_epi32(sums, _mm512_madd_epi16(d, d));
        }
        wide = addWidened(wide, sums);
    }
    // Columns x and on, as columns 1 and on of the row from x - 1.
    return static_cast<uint64_t>(_mm512_reduce_add_epi64(wide)) + squaredDifferencesPlain(row + x - 1, width - (x - 1));
}

FRAMEPROBE_AVX512 void chunksAvx512(const uint8_t* row, uint32_t x, uint32_t count, uint32_t limit,
                                    const ChunkArrays& out) {
    const __m512i bound = _mm512_set1_epi8(static_cast<char>(limit));
    for (uint32_t k = 0; k < count; ++k) {
        const __m512i now = _mm512_loadu_si512(row + x + 64 * k);
        const __m512i left = _mm512_loadu_si512(row + x + 64 * k - 1);
        const __m512i size = _mm512_or_si512(_mm512_subs_epu8(now, left), _mm512_subs_epu8(left, now));
        out.store(k, Chunk{_mm512_cmpgt_epu8_mask(size, bound), _mm512_cmpgt_epu8_mask(now, left),
                           _mm512_cmplt_epu8_mask(now, left)});
    }
}
#endif

// Edges are looked for kSpan columns of a row at a time.
constexpr uint32_t kSpan = 1024;
constexpr uint32_t kWords = kSpan / 64;

struct EdgeTally {
    int32_t edges = 0;
    // Wider than the edge count: long monotonic runs shared by many edges could
    // otherwise carry the total past 32 bits.
    int64_t widthSum = 0;
};

// One span of a row: its steep samples, and the signs of its differences that the
// edges' walks follow. The walks run over the sign bits 64 at a time and continue
// sample by sample past the span. Few samples are steep, at no foreseeable places:
// the common paths take no branch that depends on the samples.
class Span {
public:
    // Columns first .. last, last - first < kSpan, first >= 1, last <= width - 2;
    // steep samples up to column `until` count.
    Span(const Rows& rows, uint32_t width, uint32_t first, uint32_t last, uint32_t until, uint32_t limit,
         const BlurPasses& passes)
        : rows_(rows), row_(rows.row), width_(width), first_(first), last_(last) {
        const ChunkArrays out{steep_, signs_[0] + 1, signs_[1] + 1};
        const uint32_t whole = (last - first + 1) / 64;
        passes.chunks(row_, first, whole, limit, out);
        uint32_t words = whole;
        const uint32_t x = first + 64 * whole;
        if (x <= last) {
            if (last >= 64) {
                // The wide pass on the last 64 columns, less those already done.
                passes.chunks(row_, last - 63, 1, limit,
                              ChunkArrays{steep_ + words, out.rising + words, out.falling + words});
                const uint32_t done = x - (last - 63);
                steep_[words] >>= done;
                out.rising[words] >>= done;
                out.falling[words] >>= done;
            } else {
                out.store(words, chunkPlain(row_, x, last - x + 1, limit));
            }
            ++words;
        }
        // Zero words on both sides of the sign bits.
        for (uint64_t* bits : {signs_[0], signs_[1]}) bits[0] = bits[words + 1] = bits[words + 2] = 0;
        // The steep samples up to `until`, by column.
        const uint32_t counted = std::min(words, (until - first) / 64 + 1);
        if (until - first + 1 < 64 * counted) steep_[counted - 1] &= (uint64_t{2} << ((until - first) % 64)) - 1;
        for (uint32_t k = 0; k < counted; ++k) {
            uint64_t mask = steep_[k];
            // One slot written whatever the mask holds; more in one word are rare.
            at_[found_] = static_cast<uint16_t>(64 * k + std::countr_zero(mask | uint64_t{1} << 63));
            found_ += mask != 0;
            for (mask &= mask - 1; mask != 0; mask &= mask - 1)
                at_[found_++] = static_cast<uint16_t>(64 * k + std::countr_zero(mask));
        }
    }

    // Every steep peak is an edge; its width is what its walks cover.
    void addTo(EdgeTally& tally) const {
        // Local totals: the loop stores nothing that its loads could depend on.
        int32_t edges = 0;
        int64_t widthSum = 0;
        for (uint32_t i = 0; i < found_; ++i) {
            const uint32_t x = first_ + at_[i];
            const bool peak = isPeak(rows_, x, size(difference(row_, x)));
            const int64_t width = edgeWidth(x);
            edges += peak;
            widthSum += peak ? width : 0;
        }
        tally.edges += edges;
        tally.widthSum += widthSum;
    }

    // What blur() adds for an edge at x: the lengths of the runs of differences of
    // the edge's sign that end at x and that start at x + 1, the right run stopping
    // at column width - 2 and the left one at column 2.
    int64_t edgeWidth(uint32_t x) const {
        const bool falls = (row_[x] < row_[x - 1]) | (row_[x + 1] < row_[x]);
        return runFrom(falls, x + 1, width_ - 2 - x) + runTo(falls, x, x - 1);
    }

private:
    bool steps(bool falls, uint32_t x) const { return falls ? row_[x] < row_[x - 1] : row_[x] > row_[x - 1]; }

    // Consecutive steps from column x rightwards, at most `most`.
    uint32_t runFrom(bool falls, uint32_t x, uint32_t most) const {
        const uint64_t* bits = signs_[falls];
        // The 64 bits from x's: usually the run ends among them, on a column of the span.
        const uint32_t b = x - first_;
        const uint32_t shift = b % 64;
        const uint64_t ahead = (bits[b / 64 + 1] >> shift) | ((bits[b / 64 + 2] << 1) << (63 - shift));
        const auto ones = static_cast<uint32_t>(std::countr_one(ahead));
        if (ones < 64 && x + ones <= last_) return std::min(ones, most);

        uint32_t run = 0;
        while (run < most) {
            const uint32_t at = x + run;
            if (at > last_) {
                while (run < most && steps(falls, x + run)) ++run;
                break;
            }
            const uint32_t bit = (at - first_) % 64;
            const auto more = static_cast<uint32_t>(std::countr_one(bits[(at - first_) / 64 + 1] >> bit));
            run += more;
            if (more < 64 - bit) break;
        }
        return std::min(run, most);
    }

    // Consecutive steps from column x leftwards, at most `most`.
    uint32_t runTo(bool falls, uint32_t x, uint32_t most) const {
        if (most == 0) return 0;
        const uint64_t* bits = signs_[falls];
        const uint32_t b = x - first_;
        const uint32_t shift = b % 64;
        const uint64_t behind = (bits[b / 64 + 1] << (63 - shift)) | ((bits[b / 64] >> 1) >> shift);
        const auto ones = static_cast<uint32_t>(std::countl_one(behind));
        if (ones < 64 && ones <= b) return std::min(ones, most);

        uint32_t run = 0;
        while (run < most) {
            const uint32_t at = x - run;
            if (at < first_) {
                while (run < most && steps(falls, x - run)) ++run;
                break;
            }
            const uint32_t bit = (at - first_) % 64;
            const auto more = static_cast<uint32_t>(std::countl_one(bits[(at - first_) / 64 + 1] << (63 - bit)));
            run += more;
            if (more < bit + 1) break;
        }
        return std::min(run, most);
    }

    Rows rows_;
    const uint8_t* row_;
    uint32_t width_;
    uint32_t first_;
    uint32_t last_;
    // Rising, then falling; word k + 1 holds the bits of columns first + 64k on.
    uint64_t signs_[2][kWords + 3];
    uint64_t steep_[kWords];
    // The steep samples' columns less first, and a spare slot.
    uint16_t at_[kSpan + 1];
    uint32_t found_ = 0;
};

// Largest d with d * d <= n.
uint32_t floorSqrt(uint64_t n) {
    uint32_t d = static_cast<uint32_t>(std::sqrt(static_cast<double>(n)));
    while (uint64_t{d} * d > n) --d;
    while (uint64_t{d + 1} * (d + 1) <= n) ++d;
    return d;
}

double blurWith(const Plane& frame, const BlurPasses& passes) {
    const uint32_t W = frame.width;
    const uint32_t H = frame.height;
    const uint32_t nbx = W / kBlock;
    const uint32_t nby = H / kBlock;
    if (nbx == 0 || nby == 0) return 0.0;

    uint64_t squares = 0;
    for (uint32_t y = 1; y < H; ++y) squares += passes.squaredDifferences(frame.data + y * frame.stride, W);
    const double mean = static_cast<double>(squares) / (static_cast<double>(W) * static_cast<double>(H));
    const double threshold = 16 * mean;
    // An integer square exceeds the non-negative threshold exactly when it exceeds
    // the threshold's floor, and a difference's square exceeds an integer n exactly
    // when the difference's size exceeds floorSqrt(n).
    const uint64_t floorThreshold = static_cast<uint64_t>(std::floor(threshold));
    if (floorThreshold >= 255 * 255) return 0.0;
    const uint32_t limit = floorSqrt(floorThreshold);

    // Past the threshold, blur() counts an edge at every peak and walks its runs.
    // The continuation threshold there is the block's deviation / 1024. A deviation
    // of 8-bit samples is below 128 and never NaN (the 16x16 radicand is exact), so
    // the threshold lies in [0, 1/8) and an integer difference passes it exactly
    // when it is positive: runs of differences of one sign, without the deviation.
    const uint32_t lastRow = kBlock * nby - 2;
    const uint32_t lastCol = kBlock * nbx - 2;
    EdgeTally tally;
    for (uint32_t y = 1; y <= lastRow; ++y) {
        const uint8_t* row = frame.data + y * frame.stride;
        const Rows rows{row - frame.stride, row, row + frame.stride, y == 1};
        for (uint32_t first = 1; first <= lastCol; first += kSpan)
            Span(rows, W, first, std::min(first + kSpan - 1, W - 2), lastCol, limit, passes).addTo(tally);
    }
    if (tally.widthSum == 0) return 0.0;
    return static_cast<double>(tally.widthSum) / static_cast<double>(tally.edges);
}

double blurPlain(const Plane& frame) { return blurWith(frame, BlurPasses{squaredDifferencesPlain, chunksPlain}); }

#if FRAMEPROBE_X86
double blurAvx2(const Plane& frame) { return blurWith(frame, BlurPasses{squaredDifferencesAvx2, chunksAvx2}); }
double blurAvx512(const Plane& frame) { return blurWith(frame, BlurPasses{squaredDifferencesAvx512, chunksAvx512}); }
#endif

constexpr KernelVariant<BlurKernel> kVariants[] = {
    {"plain", CpuLevel::Plain, blurPlain},
#if FRAMEPROBE_X86
    {"avx2", CpuLevel::Avx2, blurAvx2},
    {"avx512", CpuLevel::Avx512, blurAvx512},
#endif
};

}  // namespace

std::span<const KernelVariant<BlurKernel>> blurVariants() { return kVariants; }

double blurFast(const Plane& frame) {
    static BlurKernel* const chosen = bestVariant(blurVariants());
    return chosen(frame);
}
