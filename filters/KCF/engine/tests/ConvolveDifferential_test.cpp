// Every fast path against the reference engine, forced one at a time: random frames, kernels at
// and beyond each tier's bound, masks, divisors, offsets and aborts, pixel for pixel.
#include "DiffCases.h"
#include "KernelFilter.h"

#include <gtest/gtest.h>

namespace {

// Runs count cases of each kind on the forced path and checks that the path and tier expected
// for each case are the ones that ran.
void RunCases(ConvolvePath path, std::initializer_list<KernelKind> kinds, int count, uint64_t seed)
{
    Random random(seed);
    for (KernelKind kind : kinds) {
        for (int i = 0; i < count; ++i) {
            const DiffCase c = MakeCase(random, kind);
            ConvolveRun run;
            const std::string difference = CheckCase(c, run);
            ASSERT_EQ(difference, "") << ConvolvePathName(path) << ": " << c.Describe();
            const ConvolveTier tier = path == ConvolvePath::Reference ? ConvolveTier::Scalar : c.ExpectedTier();
            ASSERT_EQ(run.tier, tier) << ConvolvePathName(path) << ": " << c.Describe();
            ASSERT_EQ(run.path, tier == ConvolveTier::Scalar ? ConvolvePath::Reference : path) << c.Describe();
        }
    }
}

class ConvolvePaths : public ::testing::TestWithParam<ConvolvePath> {
protected:
    void SetUp() override
    {
        if (!ConvolvePathAvailable(GetParam())) GTEST_SKIP() << ConvolvePathName(GetParam()) << " not on this CPU";
        ASSERT_TRUE(ForceConvolvePath(GetParam()));
    }
    void TearDown() override { ClearForcedConvolvePath(); }
};

std::string PathTestName(const ::testing::TestParamInfo<ConvolvePath>& info) { return ConvolvePathName(info.param); }

}  // namespace

TEST_P(ConvolvePaths, SmallAndSparseKernelsMatchTheReference)
{
    RunCases(GetParam(), {KernelKind::Small, KernelKind::Sparse}, 150, 0x5EED0001);
}

TEST_P(ConvolvePaths, KernelsAtAndBeyondEachTierBoundMatchTheReference)
{
    RunCases(GetParam(),
             {KernelKind::NarrowEdge, KernelKind::BeyondNarrow, KernelKind::FloatEdge, KernelKind::WideEdge,
              KernelKind::BeyondWide, KernelKind::Extreme, KernelKind::OffsetCancels},
             60, 0x5EED0002);
}

TEST_P(ConvolvePaths, SeparableAndNearlySeparableKernelsMatchTheReference)
{
    RunCases(GetParam(), {KernelKind::Separable, KernelKind::NearlySeparable}, 120, 0x5EED0003);
}

TEST_P(ConvolvePaths, RankOneKernelsTakeTwoPasses)
{
    if (GetParam() == ConvolvePath::Reference) GTEST_SKIP() << "the reference has one pass";
    // A tent (sums in 32 bits) and a binomial (its sums need more: the vertical pass in doubles).
    const int32_t tent[9] = {1, 2, 3, 4, 5, 4, 3, 2, 1};
    const int32_t binomial[9] = {1, 8, 28, 56, 70, 56, 28, 8, 1};
    for (const int32_t* factor : {tent, binomial}) {
        DiffCase c;
        c.width = 45;
        c.height = 11;
        c.size = 9;
        for (int m = 0; m < 9; ++m)
            for (int n = 0; n < 9; ++n) c.weights.push_back(factor[m] * factor[n] * (n == 8 ? -1 : 1));
        c.divisor = factor == tent ? 625 : 65536;
        c.offset = 1000;
        ConvolveRun run;
        EXPECT_EQ(CheckCase(c, run), "");
        EXPECT_TRUE(run.separable);
        EXPECT_EQ(run.path, GetParam());
        EXPECT_EQ(run.tier, factor == tent ? ConvolveTier::Narrow : ConvolveTier::Wide);

        c.weights[10] += 1;  // no longer rank 1: one pass over every weight
        EXPECT_EQ(CheckCase(c, run), "");
        EXPECT_FALSE(run.separable);
    }
}

TEST_P(ConvolvePaths, MaskedRowsWithoutSelectedPixelsAreSkipped)
{
    // Ids 3 only in row 4: the other rows cost a selection scan and nothing else.
    DiffCase c;
    c.width = 40;
    c.height = 9;
    c.weights = std::vector<int32_t>(25, 2);
    c.size = 5;
    c.divisor = 50;
    c.mask = Mask::Material;
    c.maskId = 3;
    ConvolveRun run;
    EXPECT_EQ(CheckCase(c, run), "");  // random ids 0..3: most rows select something
    c.maskId = 4;                      // selects nothing at all
    EXPECT_EQ(CheckCase(c, run), "");
    if (GetParam() != ConvolvePath::Reference) EXPECT_EQ(run.rowsSkipped, 9);
    EXPECT_EQ(run.rows, 9);
}

TEST_P(ConvolvePaths, RenderRunsOnTheSelectedPath)
{
    Image image;
    image.width = 21;
    image.height = 5;
    image.pixels.assign(21 * 5, BMM_Color_64{1000, 2000, 3000, 4000});
    MemoryStorage storage(image);
    Bitmap bitmap(&storage);
    ProgressWindow progress;
    KernelFilter filter;
    for (int i = 0; i < kGridCells; ++i) filter.settings.kernel.weights[i] = (i % 9 >= 3 && i % 9 <= 5) ? 1 : 0;
    filter.settings.kernel.size = 3;
    filter.settings.kernel.divisor = 9;
    filter.SetSource(&bitmap);
    EXPECT_EQ(filter.Render(progress.Handle()), TRUE);
    EXPECT_EQ(LastConvolveRun().path, GetParam());
    EXPECT_EQ(LastConvolveRun().rows, 5);
    EXPECT_EQ(storage.image().pixels[2 * 21 + 10].g, 2000);
    EXPECT_EQ(storage.image().pixels[0].g, 2000 * 4 / 9);  // a corner sees 4 of the 9 weights
}

INSTANTIATE_TEST_SUITE_P(Forced, ConvolvePaths,
                         ::testing::Values(ConvolvePath::Reference, ConvolvePath::Sse2, ConvolvePath::Avx2,
                                           ConvolvePath::Avx512, ConvolvePath::Avx512Vnni),
                         PathTestName);
