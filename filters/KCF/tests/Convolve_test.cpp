// The convolution engine through KernelImage: the arithmetic, the border, masks, and abort.
#include "FrameFixture.h"

#include <gtest/gtest.h>

namespace {

std::vector<int32_t> Ones(int size) { return std::vector<int32_t>(size * size, 1); }

}  // namespace

TEST(ConvolveArithmetic, IdentityGivesEveryPixelBack)
{
    TestFrame f(MakeImage(7, 5, [](int x, int y) {
        return BMM_Color_64{uint16_t(x * 9000), uint16_t(y * 13000), uint16_t(65535 - x * y * 1000), uint16_t(x * 100 + y)};
    }));
    const Image before = f.storage.image();
    for (int size : {3, 5, 7, 9}) {
        EXPECT_EQ(ConvolveFrameWith(f, Identity(size), size, 1, 0, 0), 1);
        for (size_t i = 0; i < before.pixels.size(); ++i) {
            const BMM_Color_64 a = before.pixels[i], b = f.storage.image().pixels[i];
            ASSERT_TRUE(a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a) << "size " << size << " pixel " << i;
        }
    }
}

TEST(ConvolveArithmetic, BorderIsCroppedNotRenormalised)
{
    TestFrame f(Uniform(5, 4, 9000));
    ConvolveFrameWith(f, Ones(3), 3, 9, 0, 0);
    EXPECT_EQ(f.At(2, 2).r, 9000);  // inside
    EXPECT_EQ(f.At(2, 0).g, 6000);  // edge: 6 neighbours
    EXPECT_EQ(f.At(0, 2).b, 6000);
    EXPECT_EQ(f.At(0, 0).r, 4000);  // corners: 4 neighbours
    EXPECT_EQ(f.At(4, 3).r, 4000);
}

TEST(ConvolveArithmetic, DivisorZeroMeansUndivided)
{
    TestFrame f(Uniform(3, 3, 9000));
    ConvolveFrameWith(f, Ones(3), 3, 0, 0, 0);
    EXPECT_EQ(f.At(1, 1).r, 65535);  // 81000 clamped
    EXPECT_EQ(f.At(0, 0).r, 36000);
}

// On a 1 x 1 frame only the centre weight counts: each row is one value through the arithmetic.
TEST(ConvolveArithmetic, DivideTruncateOffsetClampInvert)
{
    const struct {
        uint16_t value;
        int32_t weight, divisor, offset, invert;
        uint16_t expected;
        const char* what;
    } cases[] = {
        {1234, 1, -1, 0, 0, 0, "a negative quotient clamps to 0"},
        {1234, 1, -1, 65535, 0, 65535 - 1234, "the offset lifts a negative quotient"},
        {1, 7, 2, 0, 0, 3, "7 / 2 = 3"},
        {1, -7, 2, 3, 0, 0, "-7 / 2 = -3, truncated toward zero (not -4), then + 3"},
        {1001, 1, 2, 100, 0, 600, "the offset comes after the division"},
        {0, 1, 1, 0, 1, 65535, "invert"},
        {65535, 1, 1, 0, 1, 0, "invert"},
        {60000, 1, 1, 10000, 1, 0, "70000 clamps to 65535, then inverts to 0"},
        {500, 1, 1, 0, 2, 500, "only an invert of 1 inverts"},
        {65535, INT32_MIN, INT32_MIN, 0, 0, 65535, "INT32_MIN * 65535 / INT32_MIN, beyond 32 bits"},
        {65535, INT32_MAX, -1, INT32_MAX, 0, 0, "far below zero, no wrap-around"},
    };
    for (const auto& c : cases) {
        TestFrame f(Uniform(1, 1, c.value));
        ConvolveFrameWith(f, {0, 0, 0, 0, c.weight, 0, 0, 0, 0}, 3, c.divisor, c.offset, c.invert);
        EXPECT_EQ(f.At(0, 0).r, c.expected) << c.what;
    }
}

TEST(ConvolveArithmetic, ThinImagesUseOnlyTheCentreLine)
{
    // One row: only the kernel's middle row contributes.
    TestFrame row(MakeImage(4, 1, [](int x, int) { return Gray(uint16_t(1000 * (x + 1))); }));
    ConvolveFrameWith(row, {100, 100, 100, 1, 2, 3, 100, 100, 100}, 3, 1, 0, 0);
    EXPECT_EQ(row.At(0, 0).r, 2 * 1000 + 3 * 2000);
    EXPECT_EQ(row.At(1, 0).r, 1 * 1000 + 2 * 2000 + 3 * 3000);
    // One column: only the middle column.
    TestFrame column(MakeImage(1, 3, [](int, int y) { return Gray(uint16_t(1000 * (y + 1))); }));
    ConvolveFrameWith(column, {100, 1, 100, 100, 2, 100, 100, 3, 100}, 3, 1, 0, 0);
    EXPECT_EQ(column.At(0, 1).r, 1000 + 2 * 2000 + 3 * 3000);
    // 1 x 1 at any size: centre weight x value, divided, offset, clamped.
    for (int size : {3, 5, 7, 9}) {
        TestFrame one(Uniform(1, 1, 1000));
        std::vector<int32_t> w(size * size, 999);
        w[size * size / 2] = 5;
        ConvolveFrameWith(one, w, size, 3, 7, 0);
        EXPECT_EQ(one.At(0, 0).r, 5000 / 3 + 7) << size;
    }
}

TEST(ConvolveArithmetic, KernelIsNotMirrored)
{
    // A weight right of centre picks the neighbour to the right; a weight below picks the row below.
    TestFrame f(MakeImage(3, 3, [](int x, int y) { return Gray(uint16_t(10 * x + 1000 * y)); }));
    ConvolveFrameWith(f, {0, 0, 0, 0, 0, 1, 0, 0, 0}, 3, 1, 0, 0);
    EXPECT_EQ(f.At(0, 0).r, 10);
    TestFrame g(MakeImage(3, 3, [](int x, int y) { return Gray(uint16_t(10 * x + 1000 * y)); }));
    ConvolveFrameWith(g, {0, 0, 0, 0, 0, 0, 0, 1, 0}, 3, 1, 0, 0);
    EXPECT_EQ(g.At(1, 0).r, 1010);
}

TEST(ConvolveArithmetic, BrightDotUnderHorizontalKernelBecomesShortLine)
{
    TestFrame f(MakeImage(7, 3, [](int x, int y) { return Gray(x == 3 && y == 1 ? 50000 : 0); }));
    ConvolveFrameWith(f, {0, 0, 0, 1, 1, 1, 0, 0, 0}, 3, 1, 0, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(f.At(x, y).r, (y == 1 && x >= 2 && x <= 4) ? 50000 : 0) << x << "," << y;
}

TEST(ConvolveArithmetic, AlphaIsCopiedNotFiltered)
{
    TestFrame f(MakeImage(3, 3, [](int x, int y) { return Gray(1000, uint16_t(x * 100 + y)); }));
    ConvolveFrameWith(f, Ones(3), 3, 0, 0, 1);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(f.At(x, y).a, x * 100 + y);
}

TEST(ConvolveArithmetic, SumsBeyond32BitsAreExact)
{
    // All 81 weights 405 on white overflow a 32-bit sum; the exact sum divided back is white again.
    TestFrame f(Uniform(9, 9, 65535));
    ConvolveFrameWith(f, std::vector<int32_t>(81, 405), 9, 81 * 405, 0, 0);
    EXPECT_EQ(f.At(4, 4).r, 65535);
}

TEST(ConvolveMask, EightBitChannelFiltersOnlyItsId)
{
    TestFrame f(MakeImage(6, 1, [](int x, int) { return Gray(uint16_t(x * 1000)); }));
    f.storage.SetMaterialChannel({0, 3, 3, 0, 3, 7});
    ConvolveFrameWith(f, {0, 0, 0, 1, 1, 1, 0, 0, 0}, 3, 1, 0, 0, 3, GB_CHAN_MTL_EFFECTS);
    const uint16_t expected[6] = {0, 0 + 1000 + 2000, 1000 + 2000 + 3000, 3000, 3000 + 4000 + 5000, 5000};
    for (int x = 0; x < 6; ++x) EXPECT_EQ(f.At(x, 0).r, expected[x]) << x;  // neighbours mix across regions
}

TEST(ConvolveMask, SixteenBitChannelAndMaskZero)
{
    TestFrame f(MakeImage(4, 1, [](int, int) { return Gray(100); }));
    f.storage.SetObjectChannel({0, 65535, 0, 300});
    ConvolveFrameWith(f, Identity(3), 3, 1, 5, 0, 0, GB_CHAN_OBJECT);
    EXPECT_EQ(f.At(0, 0).r, 105);
    EXPECT_EQ(f.At(1, 0).r, 100);
    EXPECT_EQ(f.At(2, 0).r, 105);
    EXPECT_EQ(f.At(3, 0).r, 100);

    TestFrame high(MakeImage(2, 1, [](int, int) { return Gray(100); }));
    high.storage.SetObjectChannel({65535, 300});
    ConvolveFrameWith(high, Identity(3), 3, 1, 5, 0, 65535, GB_CHAN_OBJECT);
    EXPECT_EQ(high.At(0, 0).r, 105);  // a 16-bit id is compared zero-extended
    EXPECT_EQ(high.At(1, 0).r, 100);
}

TEST(ConvolveMask, BothChannelsRequestedReadsMaterialEffects)
{
    TestFrame f(MakeImage(2, 1, [](int, int) { return Gray(100); }));
    f.storage.SetMaterialChannel({1, 2});
    f.storage.SetObjectChannel({2, 1});
    KernelImage image(f.progress.Handle(), &f.bitmap);
    EXPECT_EQ(image.RequestChannel(GB_CHAN_MTL_EFFECTS), 1);
    EXPECT_EQ(image.RequestChannel(GB_CHAN_OBJECT), 1);
    const auto w = Identity(3);
    image.Convolve(ConvolveKernel{w.data(), 3, 1, 5, 0, 1});
    image.WriteBack();
    EXPECT_EQ(f.At(0, 0).r, 105);
    EXPECT_EQ(f.At(1, 0).r, 100);
}

TEST(ConvolveProgress, AbortAtRowFiveLeavesTheRestUnfiltered)
{
    TestFrame f(Uniform(3, 9, 1000));
    f.progress.abortAtRow = 5;
    EXPECT_EQ(ConvolveFrameWith(f, Identity(3), 3, 1, 7, 0), 0);
    EXPECT_EQ(f.progress.progressRows, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(f.progress.checkAbortQueries, 6);
    for (int y = 0; y < 9; ++y) EXPECT_EQ(f.At(1, y).r, y < 5 ? 1007 : 1000) << y;
}

TEST(ConvolveProgress, MessagesForEveryRowEvenWithoutColumns)
{
    TestFrame empty(Image{});
    EXPECT_EQ(ConvolveFrameWith(empty, Identity(3), 3, 1, 0, 0), 1);
    EXPECT_TRUE(empty.progress.progressRows.empty());  // height 0: no messages

    TestFrame noColumns(MakeImage(0, 3, [](int, int) { return Gray(0); }));
    EXPECT_EQ(ConvolveFrameWith(noColumns, Identity(3), 3, 1, 0, 0), 1);
    EXPECT_EQ(noColumns.progress.progressRows, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(noColumns.progress.checkAbortQueries, 3);
}
