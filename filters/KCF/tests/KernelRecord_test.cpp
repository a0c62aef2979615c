// The grid's rules: the kernel-size rule beside the block that holds every weight, and the centred
// sub-kernel taken out of the grid and put back.
#include "KernelRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

namespace {

// Non-zero cells as (row, column, weight).
using Cells = std::vector<std::tuple<int, int, int32_t>>;

}  // namespace

TEST(KernelSize, FirstQualifyingCellDecidesWhileTheEnclosingBlockHoldsThemAll)
{
    const struct {
        Cells nonZero;
        int bySizeRule, enclosing;
    } cases[] = {
        {{}, 3, 3},
        {{{4, 4, 1}}, 3, 3},
        {{{3, 3, 1}, {5, 5, 1}, {3, 5, 1}}, 3, 3},  // the central block never counts
        {{{0, 8, 1}}, 9, 9},
        {{{4, 0, 1}}, 9, 9},
        {{{6, 6, 1}}, 5, 5},
        {{{7, 4, -1}}, 7, 7},                // a negative weight counts
        {{{1, 4, 1}, {8, 0, 1}}, 7, 9},      // ring 3 comes first in row order
        {{{2, 2, 1}, {8, 8, 1}}, 5, 9},      // the first, not the outermost ring
        {{{2, 4, 1}, {4, 0, 1}}, 5, 9},
    };
    for (const auto& c : cases) {
        int32_t w[kGridCells] = {};
        for (auto [r, col, weight] : c.nonZero) w[r * 9 + col] = weight;
        const ::testing::Message where = ::testing::Message() << "cells " << ::testing::PrintToString(c.nonZero);
        EXPECT_EQ(KernelSizeOf(w), c.bySizeRule) << where;
        EXPECT_EQ(EnclosingKernelSize(w), c.enclosing) << where;
        KernelRecord record = DefaultKernelRecord();
        std::copy(std::begin(w), std::end(w), record.weights);
        record.size = 0;
        SetSizeFromWeights(record);
        EXPECT_EQ(record.size, c.bySizeRule) << where;
    }
}

TEST(SubKernel, TakesAndPutsBackTheCentredBlockRowByRow)
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

        // Put back into a grid of -1: the block lands where it was taken, nothing around it changes.
        int32_t grid[kGridCells];
        std::fill(std::begin(grid), std::end(grid), -1);
        PlaceSubKernel(out, size, grid);
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 9; ++c) {
                const bool inside = r >= k && r < k + size && c >= k && c < k + size;
                ASSERT_EQ(grid[r * 9 + c], inside ? 100 * r + c : -1) << size << ": " << r << ", " << c;
            }
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
