// The kernel-size rule and sub-kernel extraction.
#include "KernelRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

namespace {

using Cells = std::vector<std::pair<int, int>>;

int SizeWith(const Cells& nonZero)
{
    int32_t w[kGridCells] = {};
    for (auto [r, c] : nonZero) w[r * 9 + c] = 1;
    return KernelSizeOf(w);
}

// The rule restated plainly: the ring of the first non-zero weight, in row-major order, beyond ring 1.
int SizeByRestatement(const int32_t* w)
{
    for (int i = 0; i < kGridCells; ++i) {
        if (!w[i]) continue;
        const int ring = std::max(std::abs(i / 9 - 4), std::abs(i % 9 - 4));
        if (ring > 1) return 2 * ring + 1;
    }
    return 3;
}

}  // namespace

TEST(KernelSizeOf, FirstQualifyingCellDecides)
{
    EXPECT_EQ(SizeWith({}), 3);
    EXPECT_EQ(SizeWith({{4, 4}}), 3);
    EXPECT_EQ(SizeWith({{3, 3}, {5, 5}, {3, 5}}), 3);  // the central block never counts
    EXPECT_EQ(SizeWith({{0, 8}}), 9);
    EXPECT_EQ(SizeWith({{1, 4}, {8, 0}}), 7);
    EXPECT_EQ(SizeWith({{2, 2}, {8, 8}}), 5);  // not the outermost ring
    EXPECT_EQ(SizeWith({{2, 4}, {4, 0}}), 5);
    EXPECT_EQ(SizeWith({{4, 0}}), 9);
    EXPECT_EQ(SizeWith({{6, 6}}), 5);
}

TEST(KernelSizeOf, NegativeWeightsCountAsNonZero)
{
    int32_t w[kGridCells] = {};
    w[7 * 9 + 4] = -1;
    EXPECT_EQ(KernelSizeOf(w), 7);
}

TEST(KernelSizeOf, AgreesWithRestatementOnRandomGrids)
{
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 20000; ++trial) {
        int32_t w[kGridCells] = {};
        const int density = 1 + trial % 12;
        for (int& v : w) v = (rng() % 100 < static_cast<unsigned>(density)) ? static_cast<int>(rng() % 7) - 3 : 0;
        ASSERT_EQ(KernelSizeOf(w), SizeByRestatement(w)) << "trial " << trial;
    }
}

TEST(ExtractSubKernel, TakesTheCentredBlockRowByRow)
{
    int32_t w[kGridCells];
    for (int i = 0; i < kGridCells; ++i) w[i] = 100 * (i / 9) + i % 9;  // weight = 100 r + c
    for (int size : {3, 5, 7, 9}) {
        int32_t out[kGridCells] = {};
        ExtractSubKernel(w, size, out);
        const int k = (9 - size) / 2;
        for (int r = 0; r < size; ++r)
            for (int c = 0; c < size; ++c) ASSERT_EQ(out[r * size + c], 100 * (k + r) + (k + c)) << size;
        for (int i = size * size; i < kGridCells; ++i) ASSERT_EQ(out[i], 0) << "wrote past " << size * size;
    }
}

// The one packing that Render and the preview share: a stored size is kept, a damaged one gives
// way to the weights' own size, the block is the centred one, and the scalars come along.
TEST(PackKernel, KeepsAValidSizeAndLetsTheWeightsDecideADamagedOne)
{
    KernelRecord record = DefaultKernelRecord();
    for (int i = 0; i < kGridCells; ++i) record.weights[i] = 100 * (i / 9) + i % 9;  // non-zero on ring 4
    record.weights[0] = 0;  // still ring 4 (weight 1 at row 0, column 1)
    record.divisor = -7;
    record.offset = 1234;
    record.invert = 2;
    const struct {
        int stored, packed;
    } cases[] = {{3, 3}, {5, 5}, {7, 7}, {9, 9}, {0, 9}, {4, 9}, {11, 9}, {-3, 9}, {INT32_MIN, 9}};
    for (const auto& c : cases) {
        record.size = c.stored;
        const PackedKernel packed = PackKernel(record);
        ASSERT_EQ(packed.size, c.packed) << c.stored;
        const int k = (9 - packed.size) / 2;
        for (int r = 0; r < packed.size; ++r)
            for (int col = 0; col < packed.size; ++col)
                ASSERT_EQ(packed.weights[r * packed.size + col], record.weights[(k + r) * 9 + k + col]) << c.stored;
        const ConvolveKernel view = packed.ForMask(3);
        EXPECT_EQ(view.weights, packed.weights);
        EXPECT_EQ(view.size, packed.size);
        EXPECT_EQ(view.divisor, -7);
        EXPECT_EQ(view.offset, 1234);
        EXPECT_EQ(view.invert, 2);
        EXPECT_EQ(view.maskId, 3);
    }
    std::fill(std::begin(record.weights), std::end(record.weights), 0);
    record.size = 6;
    EXPECT_EQ(PackKernel(record).size, 3);  // no weight at all: the smallest size
}
