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
