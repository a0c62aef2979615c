// The render driver: the frame through the filter's settings, in place, and its failure cases.
#include "FrameFixture.h"
#include "KernelFilter.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

Image Pattern(int width, int height)
{
    return MakeImage(width, height, [](int x, int y) {
        return BMM_Color_64{uint16_t(x * 7001 + y * 13), uint16_t(y * 9001), uint16_t((x ^ y) * 3001), uint16_t(x + 100 * y)};
    });
}

bool SamePixels(const Image& a, const Image& b)
{
    return a.pixels.size() == b.pixels.size() &&
           std::memcmp(a.pixels.data(), b.pixels.data(), a.pixels.size() * sizeof(BMM_Color_64)) == 0;
}

struct RenderFixture : ::testing::Test {
    BOOL Render(TestFrame& f)
    {
        filter.SetSource(&f.bitmap);
        return filter.Render(f.progress.Handle());
    }
    KernelFilter filter;
};

}  // namespace

TEST_F(RenderFixture, NoSourceFailsWithoutEffect)
{
    EXPECT_EQ(filter.Render(nullptr), FALSE);
}

TEST_F(RenderFixture, IdentityKernelLeavesTheFrame)
{
    TestFrame f(Pattern(9, 6));
    const Image before = f.storage.image();
    filter.settings.kernel.weights[40] = 1;
    EXPECT_EQ(Render(f), TRUE);
    EXPECT_TRUE(SamePixels(before, f.storage.image()));
    EXPECT_EQ(f.storage.putCalls, 6);  // one write-back per row
}

TEST_F(RenderFixture, MissingChannelLeavesTheFrameUnchanged)
{
    for (int32_t mode : {kSourceMaterialEffects, kSourceObject}) {
        TestFrame f(Pattern(5, 4));
        const Image before = f.storage.image();
        filter.settings.sourceMode = mode;
        filter.settings.kernel.weights[40] = 3;
        filter.settings.kernel.offset = 999;
        EXPECT_EQ(Render(f), TRUE);
        EXPECT_TRUE(SamePixels(before, f.storage.image())) << mode;
        EXPECT_TRUE(f.progress.progressRows.empty());
        EXPECT_EQ(f.storage.putCalls, 4);  // written back all the same
    }
}

TEST_F(RenderFixture, UnknownSourceModeWritesBackUnfiltered)
{
    TestFrame f(Pattern(3, 3));
    const Image before = f.storage.image();
    filter.settings.sourceMode = 1234;
    filter.settings.kernel.offset = 999;
    EXPECT_EQ(Render(f), TRUE);
    EXPECT_TRUE(SamePixels(before, f.storage.image()));
}

TEST_F(RenderFixture, ObjectIdZeroFiltersOnlyThosePixels)
{
    TestFrame f(Uniform(3, 1, 100));
    f.storage.SetObjectChannel({0, 5, 0});
    filter.settings.sourceMode = kSourceObject;
    filter.settings.objectId = 0;
    filter.settings.materialId = 5;  // not this mode's id
    filter.settings.kernel.weights[40] = 1;
    filter.settings.kernel.offset = 1;
    EXPECT_EQ(Render(f), TRUE);
    EXPECT_EQ(f.At(0, 0).r, 101);
    EXPECT_EQ(f.At(1, 0).r, 100);
    EXPECT_EQ(f.At(2, 0).r, 101);
}

TEST_F(RenderFixture, SizeDecidesWhichWeightsCount)
{
    // Size 3 ignores every weight outside the central block, even where they are non-zero.
    TestFrame f(Uniform(9, 9, 1000));
    for (int& w : filter.settings.kernel.weights) w = 50;
    filter.settings.kernel.weights[40] = 1;
    filter.settings.kernel.size = 3;
    filter.settings.kernel.divisor = 0;
    for (int r = 3; r <= 5; ++r)
        for (int c = 3; c <= 5; ++c)
            if (r * 9 + c != 40) filter.settings.kernel.weights[r * 9 + c] = 0;
    Render(f);
    EXPECT_EQ(f.At(4, 4).r, 1000);

    // Size 9 uses all 81: at the centre of a 9x9 frame every weight finds a pixel.
    TestFrame g(Uniform(9, 9, 1));
    for (int i = 0; i < kGridCells; ++i) filter.settings.kernel.weights[i] = i + 1;
    filter.settings.kernel.size = 9;
    Render(g);
    EXPECT_EQ(g.At(4, 4).r, 81 * 82 / 2);
}

TEST_F(RenderFixture, DamagedSizeFollowsTheWeights)
{
    for (int32_t damaged : {0, 4, -3, 11, 1 << 30}) {
        TestFrame f(Uniform(9, 9, 1));
        std::memset(filter.settings.kernel.weights, 0, sizeof filter.settings.kernel.weights);
        filter.settings.kernel.weights[0] = 1000;      // ring 4: the rule gives 9
        filter.settings.kernel.weights[40] = 1;
        filter.settings.kernel.size = damaged;
        filter.settings.kernel.divisor = 1;
        EXPECT_EQ(Render(f), TRUE);
        EXPECT_EQ(f.At(4, 4).r, 1001) << damaged;    // the corner weight reached (0, 0)
        EXPECT_EQ(f.At(0, 0).r, 1) << damaged;
    }
}

TEST_F(RenderFixture, FailedAllocationLeavesTheBitmapAlone)
{
    static int calls;
    for (int failAt : {1, 2}) {
        calls = 0;
        static int failing;
        failing = failAt;
        SetFrameAllocator([](size_t count, size_t size) -> void* {
            return ++calls == failing ? nullptr : std::calloc(count, size);
        });
        TestFrame f(Pattern(4, 4));
        const Image before = f.storage.image();
        filter.settings.kernel.offset = 500;
        EXPECT_EQ(Render(f), FALSE) << failAt;
        SetFrameAllocator(nullptr);
        EXPECT_EQ(f.storage.putCalls, 0);
        EXPECT_TRUE(SamePixels(before, f.storage.image()));
        EXPECT_TRUE(f.progress.progressRows.empty());
    }
}

TEST_F(RenderFixture, BitmapWithoutStorage)
{
    Bitmap empty(nullptr);
    filter.SetSource(&empty);
    ProgressWindow progress;
    EXPECT_EQ(filter.Render(progress.Handle()), TRUE);
    EXPECT_TRUE(progress.progressRows.empty());
}

TEST_F(RenderFixture, AbortStillWritesBackAndSucceeds)
{
    TestFrame f(Uniform(2, 4, 10));
    f.progress.abortAtRow = 2;
    filter.settings.kernel.weights[40] = 1;
    filter.settings.kernel.offset = 5;
    EXPECT_EQ(Render(f), TRUE);
    EXPECT_EQ(f.At(0, 1).r, 15);
    EXPECT_EQ(f.At(0, 2).r, 10);
}

TEST(ImageAccess, WriteBackSkipsABitmapThatChangedSize)
{
    // The host resizing the bitmap between the read and the write-back must not make us write rows
    // the buffer does not hold.
    struct ResizingStorage : MemoryStorage {
        using MemoryStorage::MemoryStorage;
        uint16_t Height() const override { return grown ? 9 : MemoryStorage::Height(); }
        bool grown = false;
    } storage(Uniform(2, 3, 5));
    Bitmap bitmap(&storage);
    KernelImage image(nullptr, &bitmap);
    ASSERT_TRUE(image.Ready());
    storage.grown = true;
    image.WriteBack();
    EXPECT_EQ(storage.putCalls, 0);
    storage.grown = false;
    image.WriteBack();
    EXPECT_EQ(storage.putCalls, 3);
}
