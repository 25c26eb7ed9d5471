// Every kernel table against straightforward sums, on planes of awkward sizes,
// strides wider than the rows, and the extreme sample values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "kernels/kernels.h"

namespace {

struct TestPlane {
    std::vector<uint8_t> samples;
    Plane plane;
    TestPlane(uint32_t w, uint32_t h, uint32_t pad, int pattern, uint32_t seed) {
        const std::size_t stride = w + pad;
        samples.assign(stride * h + 1, 77);  // padding holds a value the kernels must not read
        std::mt19937 random(seed);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                uint8_t& v = samples[y * stride + x];
                switch (pattern) {
                    case 0: v = static_cast<uint8_t>(random()); break;
                    case 1: v = 0; break;
                    case 2: v = 255; break;
                    default: v = (x + y) % 2 ? 255 : 0; break;
                }
            }
        plane = Plane{samples.data(), static_cast<std::ptrdiff_t>(stride), w, h};
    }
    int at(uint32_t x, uint32_t y) const { return plane.data[y * plane.stride + x]; }
};

struct Shape {
    uint32_t w, h, pad;
};
const Shape kShapes[] = {{1, 1, 0}, {7, 3, 5}, {8, 8, 0}, {17, 9, 3}, {33, 16, 1}, {64, 48, 0}, {301, 67, 19}};

template <typename Check>
void forEveryCase(Check check) {
    uint32_t seed = 1;
    for (const Kernels* table : availableKernels())
        for (const Shape& s : kShapes)
            for (int pattern = 0; pattern < 4; ++pattern) {
                SCOPED_TRACE(std::string(cpuLevelName(table->level)) + " " + std::to_string(s.w) + "x" + std::to_string(s.h) +
                             " pattern " + std::to_string(pattern));
                const TestPlane a(s.w, s.h, s.pad, pattern, seed++);
                const TestPlane b(s.w, s.h, s.pad, pattern == 3 ? 0 : 3 - pattern, seed++);
                check(*table, a, b);
            }
}

TEST(KernelTable, PlainTableComesFirstAndActiveTableIsAvailable) {
    ASSERT_FALSE(availableKernels().empty());
    EXPECT_EQ(availableKernels().front(), &plainKernels());
    bool found = false;
    for (const Kernels* table : availableKernels()) found |= table == &activeKernels();
    EXPECT_TRUE(found);
}

TEST(KernelTable, SquaredDifferenceSum) {
    forEveryCase([](const Kernels& k, const TestPlane& a, const TestPlane& b) {
        // Contiguous runs: the rows of a plane without padding.
        const std::size_t n = a.plane.width;
        uint64_t expected = 0;
        for (std::size_t i = 0; i < n; ++i) expected += uint64_t((a.plane.data[i] - b.plane.data[i]) * (a.plane.data[i] - b.plane.data[i]));
        EXPECT_EQ(k.squaredDifferenceSum(a.plane.data, b.plane.data, n), expected);
    });
}

TEST(KernelTable, SquaredDifferenceSumPastThe32BitPartials) {
    std::vector<uint8_t> zeros(200000, 0), full(200000, 255);
    for (const Kernels* k : availableKernels())
        EXPECT_EQ(k->squaredDifferenceSum(zeros.data(), full.data(), zeros.size()), 200000ull * 65025ull);
}

TEST(KernelTable, SumAndSquareSum) {
    forEveryCase([](const Kernels& k, const TestPlane& a, const TestPlane&) {
        uint64_t sum = 0, squares = 0;
        for (uint32_t y = 0; y < a.plane.height; ++y)
            for (uint32_t x = 0; x < a.plane.width; ++x) {
                sum += uint64_t(a.at(x, y));
                squares += uint64_t(a.at(x, y) * a.at(x, y));
            }
        uint64_t gotSum = 1, gotSquares = 1;
        k.sumAndSquareSum(a.plane, gotSum, gotSquares);
        EXPECT_EQ(gotSum, sum);
        EXPECT_EQ(gotSquares, squares);
    });
}

TEST(KernelTable, SumAndSquareSumPastThe32BitPartials) {
    std::vector<uint8_t> full(600000, 255);
    const Plane row{full.data(), static_cast<std::ptrdiff_t>(full.size()), static_cast<uint32_t>(full.size()), 1};
    const Plane rows{full.data(), 30000, 30000, 20};
    for (const Kernels* k : availableKernels())
        for (const Plane& plane : {row, rows}) {
            uint64_t sum = 0, squares = 0;
            k->sumAndSquareSum(plane, sum, squares);
            EXPECT_EQ(sum, 600000ull * 255);
            EXPECT_EQ(squares, 600000ull * 65025);
        }
}

TEST(KernelTable, RobertsEnergyPastThe32BitPartials) {
    // Rows of 0 over rows of 255: every sample past the first row and column adds 2 * 255^2.
    const uint32_t w = 300001;
    std::vector<uint8_t> samples(std::size_t{w} * 3);
    std::fill(samples.begin() + w, samples.begin() + 2 * w, 255);
    const Plane plane{samples.data(), w, w, 3};
    for (const Kernels* k : availableKernels()) EXPECT_EQ(k->robertsEnergy(plane), 2ull * (w - 1) * 2 * 65025);
}

TEST(KernelTable, RobertsEnergy) {
    auto check = [](const Kernels& k, const TestPlane& a, const TestPlane&) {
        uint64_t expected = 0;
        for (uint32_t y = 1; y < a.plane.height; ++y)
            for (uint32_t x = 1; x < a.plane.width; ++x) {
                const int dx = a.at(x - 1, y - 1) - a.at(x, y);
                const int dy = a.at(x, y - 1) - a.at(x - 1, y);
                expected += uint64_t(dx * dx + dy * dy);
            }
        EXPECT_EQ(k.robertsEnergy(a.plane), expected);
    };
    forEveryCase(check);
    // Rows whose last vector step covers 0, 1, 15, 31 or 63 columns after the whole ones.
    uint32_t seed = 900;
    for (const Kernels* table : availableKernels())
        for (uint32_t w : {32u, 33u, 34u, 48u, 64u, 65u, 66u, 80u, 96u, 1920u})
            for (int pattern : {0, 3}) {
                SCOPED_TRACE(std::string(cpuLevelName(table->level)) + " width " + std::to_string(w));
                check(*table, TestPlane(w, 3, 5, pattern, seed++), TestPlane(1, 1, 0, 0, 0));
            }
}

TEST(KernelTable, BlockSumsAndDiffs8) {
    forEveryCase([](const Kernels& k, const TestPlane& a, const TestPlane& b) {
        const uint32_t bw = a.plane.width / 8, bh = a.plane.height / 8;
        std::vector<int32_t> sums(std::size_t{bw} * bh + 1, -7), diffs(sums);
        k.blockSumsAndDiffs8(a.plane, b.plane, sums.data(), diffs.data());
        for (uint32_t by = 0; by < bh; ++by)
            for (uint32_t bx = 0; bx < bw; ++bx) {
                int32_t sum = 0, diff = 0;
                for (uint32_t y = by * 8; y < by * 8 + 8; ++y)
                    for (uint32_t x = bx * 8; x < bx * 8 + 8; ++x) {
                        sum += a.at(x, y);
                        diff += std::abs(a.at(x, y) - b.at(x, y));
                    }
                EXPECT_EQ(sums[by * bw + bx], sum);
                EXPECT_EQ(diffs[by * bw + bx], diff);
            }
        EXPECT_EQ(sums.back(), -7);  // nothing written past the grids
        EXPECT_EQ(diffs.back(), -7);
    });
}

// Series that wander by moves at the swing and at half the move before, from both ends of
// the levels, in groups that are no multiple of a vector or of a strip of them, starting at
// odd addresses.
TEST(KernelTable, TurnCounts) {
    constexpr int32_t swing = 128;
    std::mt19937 random(11);
    for (std::size_t count : {1u, 15u, 16u, 17u, 33u, 70u, 300u}) {
        for (std::size_t steps : {2u, 3u, 40u}) {
            std::vector<std::vector<uint16_t>> levels(steps, std::vector<uint16_t>(count + 1));
            for (std::size_t i = 0; i < count; ++i) {
                int32_t level = static_cast<int32_t>(random() % 3 == 0 ? (random() % 2) * 32767 : random() % 32768);
                int32_t lastMove = 0;
                for (std::size_t k = 0; k < steps; ++k) {
                    const int32_t sizes[] = {0, swing - 1, swing, swing + 1, std::abs(lastMove) / 2,
                                             std::abs(lastMove) / 2 + 1, 3 * swing, 32767};
                    const int32_t size = sizes[random() % std::size(sizes)];
                    const int32_t moved = std::clamp(level + (random() % 2 ? size : -size), 0, 32767);
                    lastMove = moved - level;
                    level = moved;
                    levels[k][1 + i] = static_cast<uint16_t>(level);
                }
            }
            std::vector<const uint16_t*> rows;
            for (const auto& row : levels) rows.push_back(row.data() + 1);
            std::vector<uint16_t> expected(count);
            for (std::size_t i = 0; i < count; ++i) {
                int direction = 0;
                int32_t extreme = rows[0][i], start = extreme;
                for (std::size_t k = 1; k < steps; ++k) {
                    bool turned = false;
                    turnStep(rows[k][i], swing, direction, extreme, start, turned);
                    expected[i] = static_cast<uint16_t>(expected[i] + turned);
                }
            }
            for (const Kernels* table : availableKernels()) {
                std::vector<uint16_t> got(count + 1, 7777);
                table->turnCounts(rows.data(), steps, count, swing, got.data());
                EXPECT_EQ(got.back(), 7777);  // nothing written past the series
                got.pop_back();
                EXPECT_EQ(got, expected) << cpuLevelName(table->level) << " " << count << " series of " << steps;
            }
        }
    }
}

// Words at an odd address, with bits set above the depth, in runs that end inside a vector.
TEST(KernelTable, DeepToBytesKeepsTheTopEightBitsOfTheDepth) {
    std::mt19937 random(5);
    std::vector<uint8_t> words(2 * 1935 + 1);
    for (uint8_t& b : words) b = static_cast<uint8_t>(random());
    words[1] = words[2] = 0xFF;  // the extremes: all bits set, then none
    words[3] = words[4] = 0;
    for (const Kernels* k : availableKernels())
        for (int depth : {9, 10, 12, 16})
            for (std::size_t count : {0u, 1u, 31u, 33u, 64u, 127u, 1935u}) {
                std::vector<uint8_t> got(count + 1, 7);
                k->deepToBytes(words.data() + 1, got.data(), count, depth);
                for (std::size_t x = 0; x < count; ++x) {
                    const unsigned word = words[1 + 2 * x] | words[2 + 2 * x] << 8;
                    ASSERT_EQ(got[x], ((word & ((1u << depth) - 1)) >> (depth - 8)))
                        << cpuLevelName(k->level) << " depth " << depth << " count " << count << " at " << x;
                }
                EXPECT_EQ(got.back(), 7);  // nothing written past the run
            }
}

// Bounds at and beyond the byte's range (-1, 0, 255, 256, a low above its high) and runs
// that are not whole vectors, from unaligned places.
TEST(KernelTable, OutsideBoundsCountsWhatEachPlaceRefuses) {
    std::mt19937 random(9);
    constexpr std::size_t kLength = 1937;
    std::vector<uint8_t> samples(kLength + 1);
    std::vector<int16_t> low(kLength + 1), high(kLength + 1);
    const int16_t edges[] = {-1, 0, 1, 5, 16, 128, 235, 246, 254, 255, 256};
    for (std::size_t i = 0; i <= kLength; ++i) {
        samples[i] = static_cast<uint8_t>(i % 7 == 0 ? (i % 2 ? 255 : 0) : random());
        low[i] = edges[random() % std::size(edges)];
        high[i] = edges[random() % std::size(edges)];
    }
    for (const Kernels* k : availableKernels())
        for (std::size_t count : {0u, 1u, 15u, 16u, 17u, 33u, 1936u}) {
            uint64_t expected = 0;
            for (std::size_t i = 1; i <= count; ++i) expected += samples[i] < low[i] || samples[i] > high[i];
            EXPECT_EQ(k->outsideBounds(samples.data() + 1, low.data() + 1, high.data() + 1, count), expected)
                << cpuLevelName(k->level) << " count " << count;
        }
}

}  // namespace
