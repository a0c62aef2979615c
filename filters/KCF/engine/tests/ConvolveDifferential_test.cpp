// Every fast path against the reference engine, forced one at a time: random frames, kernels at
// and beyond each tier's bound, masks, divisors, offsets and aborts, pixel for pixel.
#include "DiffCases.h"
#include "KernelFilter.h"

#include <gtest/gtest.h>

namespace {

// Runs count cases of each kind on the forced path and checks that the path and tier expected
// for each case are the ones that ran.
// Every other case streams its results past the cache, as large frames do.
void RunCases(ConvolvePath path, std::initializer_list<KernelKind> kinds, int count, uint64_t seed)
{
    Random random(seed);
    ProgressWindow progress;
    for (KernelKind kind : kinds) {
        for (int i = 0; i < count; ++i) {
            SetConvolveStreamBytes(i % 2 ? 1 : 0);
            const DiffCase c = MakeCase(random, kind);
            ConvolveRun run;
            const std::string difference = CheckCase(c, progress, run);
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
    void TearDown() override
    {
        ClearForcedConvolvePath();
        SetConvolveStreamBytes(0);
    }
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
             120, 0x5EED0002);
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
        ProgressWindow progress;
        EXPECT_EQ(CheckCase(c, progress, run), "");
        EXPECT_TRUE(run.separable);
        EXPECT_EQ(run.path, GetParam());
        EXPECT_EQ(run.tier, factor == tent ? ConvolveTier::Narrow : ConvolveTier::Wide);

        c.weights[10] += 1;  // no longer rank 1: one pass over every weight
        EXPECT_EQ(CheckCase(c, progress, run), "");
        EXPECT_FALSE(run.separable);
    }
}

TEST_P(ConvolvePaths, MaskedRowsWithoutSelectedPixelsAreSkipped)
{
    DiffCase c;
    c.width = 40;
    c.height = 9;
    c.weights = std::vector<int32_t>(25, 2);
    c.size = 5;
    c.divisor = 50;
    c.mask = Mask::Material;
    c.maskId = 3;
    ConvolveRun run;
    ProgressWindow progress;
    EXPECT_EQ(CheckCase(c, progress, run), "");  // random ids 0..3: most rows select something
    c.maskId = 4;                                // selects nothing at all
    EXPECT_EQ(CheckCase(c, progress, run), "");
    if (GetParam() != ConvolvePath::Reference) {
        EXPECT_EQ(run.rowsSkipped, 9);
    }
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

#if defined(__i386__)
namespace {

struct SkewedRun {
    std::string failure;
    int cases = 0;
};

// A few cases of every family, run with whatever stack alignment the caller left.
void RunSkewedCases(void* context)
{
    auto* run = static_cast<SkewedRun*>(context);
    Random random(0x5EED0004);
    ProgressWindow progress;
    for (int kind = 0; kind <= static_cast<int>(KernelKind::OffsetCancels); ++kind) {
        for (int i = 0; i < 3; ++i) {
            const DiffCase c = MakeCase(random, static_cast<KernelKind>(kind));
            ConvolveRun record;
            const std::string difference = CheckCase(c, progress, record);
            ++run->cases;
            if (!difference.empty() && run->failure.empty()) run->failure = difference + " in " + c.Describe();
        }
    }
}

// Calls fn(context) with the stack pointer skew bytes below a 64-byte boundary, as a host that
// keeps the stack aligned to 4 bytes only may call the filter.
void CallWithSkewedStack(void (*fn)(void*), void* context, int skew)
{
    struct {
        void (*fn)(void*);
        void* context;
        int skew;
    } call = {fn, context, skew};
    asm volatile("movl %%esp, %%esi\n\t"
                 "andl $-64, %%esp\n\t"
                 "subl 8(%%ebx), %%esp\n\t"
                 "pushl 4(%%ebx)\n\t"
                 "call *(%%ebx)\n\t"
                 "movl %%esi, %%esp\n\t"
                 :
                 : "b"(&call)
                 : "eax", "ecx", "edx", "esi", "memory", "cc", "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6",
                   "xmm7");
}

}  // namespace

// 32-bit Windows hosts guarantee a 4-byte aligned stack; vectors spilled by the wider paths need
// 16, 32 or 64 bytes. Every path must realign for itself.
TEST_P(ConvolvePaths, SurviveAStackAlignedToFourBytesOnly)
{
    for (int skew = 0; skew < 64; skew += 4) {
        SkewedRun run;
        CallWithSkewedStack(&RunSkewedCases, &run, skew);
        EXPECT_EQ(run.failure, "") << "skew " << skew;
        EXPECT_GT(run.cases, 0);
    }
}
#endif

INSTANTIATE_TEST_SUITE_P(Forced, ConvolvePaths,
                         ::testing::Values(ConvolvePath::Reference, ConvolvePath::Sse2, ConvolvePath::Avx2,
                                           ConvolvePath::Avx512, ConvolvePath::Avx512Vnni),
                         PathTestName);
