// Every fast path against the reference engine, forced one at a time: random frames, kernels at
// and beyond each tier's bound, masks, divisors, offsets and aborts, pixel for pixel.
#include "DiffCases.h"
#include "KernelFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <memory>

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
            const ScopedConvolvePath stream(path, i % 2 ? 1 : 0);
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
        guard_ = std::make_unique<ScopedConvolvePath>(GetParam());
        ASSERT_TRUE(guard_->Active());
    }
    void TearDown() override { guard_.reset(); }

    std::unique_ptr<ScopedConvolvePath> guard_;
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
             {KernelKind::NarrowEdge, KernelKind::BeyondNarrow, KernelKind::WindowEdge, KernelKind::BeyondWindow,
              KernelKind::FloatEdge, KernelKind::WideEdge, KernelKind::BeyondWide, KernelKind::Extreme,
              KernelKind::OffsetCancels},
             120, 0x5EED0002);
}

TEST_P(ConvolvePaths, SeparableAndNearlySeparableKernelsMatchTheReference)
{
    RunCases(GetParam(), {KernelKind::Separable, KernelKind::NearlySeparable}, 120, 0x5EED0003);
}

namespace {

// A family of sums for the divisor test: the centre row of a 5x5 kernel is (c, c, c, m, 1) with
// the first coarse weights zeroed below k, so that at the middle pixel of a group of five the sum
// is c * (P0 + P1 + P2) + m * a + b: any value from 0 to the shape's largest sum can be aimed at.
struct SumShape {
    int32_t coarse;
    int coarseCount;  // 1 or 3
    int32_t middle;   // 0 .. 65536 (with 0, coarse <= 65536)
    DivideKind narrowKind;
    WideDivide wideKind;  // for the wide tier; the divisor test below picks one that is no power of two
    int64_t Largest() const { return int64_t(coarse) * coarseCount * 65535 + int64_t(middle) * 65535 + 65535; }
};

// The five pixel values whose group sum is exactly t (0 <= t <= shape.Largest()).
void AimAt(const SumShape& shape, int64_t t, std::vector<uint16_t>& values)
{
    int64_t coarse = std::min<int64_t>(t / shape.coarse, int64_t(65535) * shape.coarseCount);
    int64_t rest = t - coarse * shape.coarse;
    uint16_t p[3] = {0, 0, 0};
    for (int i = 2; i >= 3 - shape.coarseCount; --i) {
        p[i] = static_cast<uint16_t>(std::min<int64_t>(coarse, 65535));
        coarse -= p[i];
    }
    const int64_t a = shape.middle ? std::min<int64_t>(rest / shape.middle, 65535) : 0;
    rest -= a * shape.middle;
    values.insert(values.end(), {p[0], p[1], p[2], static_cast<uint16_t>(a), static_cast<uint16_t>(rest)});
}

}  // namespace

// Division without a divide: sums aimed at exact multiples of each divisor and one either side,
// at the bottom, middle and top of each shape's range, both signs, with an offset that brings
// those quotients into 0 .. 65535 so that a quotient one off shows in the pixel.
TEST_P(ConvolvePaths, DivisorsAtTheEdgesMatchTheReference)
{
    const SumShape shapes[] = {
        {31, 1, 0, DivideKind::ReciprocalFloat, WideDivide::None},           // |sum| < 2^21
        {32, 1, 0, DivideKind::ReciprocalDouble, WideDivide::None},          // just beyond
        {10922, 3, 0, DivideKind::ReciprocalDouble, WideDivide::None},       // sum(|w|) = 32767
        {21845, 3, 1, DivideKind::Window, WideDivide::None},     // sum(|w|) = 65537: sums take 2^32 values
        {21845, 3, 2, DivideKind::None, WideDivide::Multiply},   // one more: beyond 32-bit lanes
        {1431655765, 3, 65536, DivideKind::None, WideDivide::Multiply},      // |sum| just under 2^48
        {INT32_MAX, 3, 65536, DivideKind::None, WideDivide::Divide},         // up to 2^48.6
    };
    std::vector<int64_t> divisors = {1, -1, 3, -3, 5, -7, 65535, -65535, 65537, INT32_MAX, -INT32_MAX, INT32_MIN};
    for (int k = 1; k <= 30; ++k) divisors.insert(divisors.end(), {int64_t(1) << k, -(int64_t(1) << k)});
    for (int k : {8, 16, 20, 24, 30}) divisors.insert(divisors.end(), {(int64_t(1) << k) + 1, -(int64_t(1) << k) + 1});
    ProgressWindow progress;
    for (const SumShape& shape : shapes) {
        const int64_t largest = shape.Largest();
        std::vector<int64_t> all = divisors;
        // Divisors near the sums' extremes, and the coarse weight itself.
        for (int64_t d : {largest, largest - 1, largest + 1, largest / 2 + 1, int64_t(shape.coarse)})
            if (d <= INT32_MAX) all.insert(all.end(), {d, -d});
        for (int sign : {1, -1}) {
            DiffCase c;
            c.size = 5;
            c.height = 1;
            c.weights.assign(25, 0);
            for (int i = 3 - shape.coarseCount; i < 3; ++i) c.weights[10 + i] = sign * shape.coarse;
            c.weights[13] = sign * shape.middle;
            c.weights[14] = sign;
            ConvolvePlan plan;
            ConvolveKernel kernel = {c.weights.data(), 5, 3, 0, 0, -1};
            ASSERT_TRUE(BuildConvolvePlan(kernel, true, plan));
            if (shape.narrowKind != DivideKind::None) {
                EXPECT_EQ(plan.divide, shape.narrowKind) << shape.coarse;
            } else {
                EXPECT_EQ(plan.wideDivide, shape.wideKind) << shape.coarse;
            }
            for (const int64_t d : all) {
                const int64_t magnitude = std::llabs(d);
                const int64_t top = largest / magnitude;
                for (const int64_t base : {int64_t(0), int64_t(1), top / 2, std::max<int64_t>(0, top - 2)}) {
                    c.values.clear();
                    for (int64_t j = 0; j < 3; ++j)
                        for (int64_t delta = -1; delta <= 1; ++delta) {
                            const int64_t t = std::min(largest, std::max<int64_t>(0, (base + j) * magnitude + delta));
                            AimAt(shape, t, c.values);
                        }
                    c.width = static_cast<int>(c.values.size());
                    c.divisor = static_cast<int32_t>(d);
                    const int64_t quotient = (sign > 0) == (d > 0) ? base : -base;
                    // Also the offsets at the ends of their range, which q + offset must not overflow.
                    for (const int64_t offset : {30000 - quotient, int64_t(INT32_MAX), int64_t(INT32_MIN)}) {
                        c.offset = static_cast<int32_t>(std::min<int64_t>(INT32_MAX, std::max<int64_t>(INT32_MIN, offset)));
                        ConvolveRun run;
                        ASSERT_EQ(CheckCase(c, progress, run), "") << ConvolvePathName(GetParam()) << ": " << c.Describe();
                    }
                }
            }
        }
    }
}

// The single-precision reciprocal, exhaustively: fl(fl(S) * r) grows with S, so a quotient can only
// fall short at an exact multiple k|d| and overshoot at k|d| - 1; both are tried for every divisor
// that is no power of two (beyond 2^23 every quotient is 0 and |S| * r < 1/4), at every k up to the
// limit. One step beyond the limit, the method is already wrong: the limit is not loose.
TEST(ConvolvePlanDivide, FloatReciprocalIsExactUpToItsLimit)
{
    const auto quotient = [](int64_t sum, float reciprocal) {
        volatile float product = static_cast<float>(sum) * reciprocal;  // one rounding, as in the lanes
        return static_cast<int64_t>(product);
    };
    const int64_t limit = kFloatReciprocalLimit;
    int64_t wrong = 0;
    for (int64_t magnitude = 3; magnitude <= int64_t(1) << 23; ++magnitude) {
        if ((magnitude & (magnitude - 1)) == 0) continue;
        for (const int64_t d : {magnitude, -magnitude}) {
            const float r = NudgedReciprocalFloat(d);
            for (int64_t multiple = 0; multiple - 1 <= limit; multiple += magnitude)
                for (const int64_t s : {multiple - 1, multiple, -multiple + 1, -multiple})
                    if (s >= -limit && s <= limit && quotient(s, r) != s / d) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_NE(quotient(3040871, NudgedReciprocalFloat(3)), 3040871 / 3);
}

// The plan's reciprocals come from integer arithmetic; where the compiler's doubles are plain IEEE
// doubles (SSE, not the x87), the hardware's division is the judge: the same bits, at every small
// divisor, around every power of two and at the ends of the range.
TEST(ConvolvePlanDivide, ReciprocalsAreTheHardwaresRoundedQuotients)
{
    if (FLT_EVAL_METHOD != 0) GTEST_SKIP() << "the x87 rounds twice: no judge here";
    const auto bitsOf = [](auto value) {
        uint64_t bits = 0;
        std::memcpy(&bits, &value, sizeof value);
        return bits;
    };
    std::vector<int64_t> divisors;
    for (int64_t d = 1; d <= 70000; ++d) divisors.push_back(d);
    for (int k = 17; k <= 31; ++k)
        for (int64_t delta = -3; delta <= 3; ++delta) divisors.push_back((int64_t(1) << k) + delta);
    Random random(0x5EED0006);
    for (int i = 0; i < 20000; ++i) divisors.push_back(random.Range(1, INT32_MAX));
    int wrong = 0;
    for (const int64_t magnitude : divisors) {
        for (const int64_t d : {magnitude, -magnitude}) {
            const volatile double quotient = 1.0 / static_cast<double>(d);
            const volatile float narrowed = static_cast<float>(quotient);
            wrong += bitsOf(ExactReciprocal(d)) != bitsOf(static_cast<double>(quotient));
            wrong += bitsOf(NudgedReciprocal(d)) != bitsOf(static_cast<double>(quotient)) + 3;
            wrong += bitsOf(NudgedReciprocalFloat(d)) != bitsOf(static_cast<float>(narrowed)) + 3;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_P(ConvolvePaths, RankOneKernelsTakeTwoPasses)
{
    if (GetParam() == ConvolvePath::Reference) GTEST_SKIP() << "the reference has one pass";
    // A tent (sums in 32 bits), a binomial (sums up to 2^32, told apart in 32-bit lanes; with no
    // negative weight, sums from 0 to 2^32 - 1 that a logical shift divides) and twice the binomial
    // (the vertical pass in doubles).
    const int32_t tent[9] = {1, 2, 3, 4, 5, 4, 3, 2, 1};
    const int32_t binomial[9] = {1, 8, 28, 56, 70, 56, 28, 8, 1};
    const int32_t doubled[9] = {2, 16, 56, 112, 140, 112, 56, 16, 2};
    const struct {
        const int32_t* factor;
        int lastColumn;  // the last column's sign
        bool brightest;  // every pixel 65535: the largest sum
    } rows[] = {{tent, -1, false}, {binomial, -1, false}, {binomial, 1, false}, {binomial, 1, true}, {doubled, -1, false}};
    for (const auto& row : rows) {
        DiffCase c;
        c.width = 45;
        c.height = 11;
        c.size = 9;
        for (int m = 0; m < 9; ++m)
            for (int n = 0; n < 9; ++n) c.weights.push_back(row.factor[m] * row.factor[n] * (n == 8 ? row.lastColumn : 1));
        c.divisor = row.factor == tent ? 625 : 65536;
        c.offset = row.brightest ? 0 : 1000;
        if (row.brightest) c.uniform = 65535;
        ConvolveRun run;
        ProgressWindow progress;
        EXPECT_EQ(CheckCase(c, progress, run), "");
        EXPECT_TRUE(run.separable);
        EXPECT_EQ(run.path, GetParam());
        EXPECT_EQ(run.tier, row.factor == doubled ? ConvolveTier::Wide : ConvolveTier::Narrow);

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
    EXPECT_EQ(guard_->LastRun().path, GetParam());
    EXPECT_EQ(guard_->LastRun().rows, 5);
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

// The called paths use the SSE registers; code built without SSE keeps nothing there.
#ifdef __SSE__
#define KCF_VECTOR_CLOBBERS , "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7"
#else
#define KCF_VECTOR_CLOBBERS
#endif

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
                 : "eax", "ecx", "edx", "esi", "memory", "cc" KCF_VECTOR_CLOBBERS);
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

#if defined(_WIN32) && defined(__i386__)
#include <float.h>

namespace {

// Sets the x87 precision for its lifetime, as a host may leave it: MSVC programs run at 53 bits,
// and a Direct3D device made without its FPU-preserve flag sets 24.
class ScopedX87Precision {
public:
    explicit ScopedX87Precision(unsigned precision) : saved_(_controlfp(0, 0)) { _controlfp(precision, _MCW_PC); }
    ~ScopedX87Precision() { _controlfp(saved_, _MCW_PC); }
    ScopedX87Precision(const ScopedX87Precision&) = delete;
    ScopedX87Precision& operator=(const ScopedX87Precision&) = delete;

private:
    unsigned saved_;
};

}  // namespace

// The plan's reciprocals are built in the host's thread, under whatever x87 precision the host
// set; they must not depend on it: the same bits as at full precision, and every path still exact.
TEST_P(ConvolvePaths, PlansHoldAtTheHostsX87Precision)
{
    std::vector<int64_t> divisors = {3, 7, 10, 625, 65535, 65537, 1000003, INT32_MAX, INT32_MIN};
    for (int64_t d = 3; d < 4096; d += 2) divisors.push_back(d);
    for (const auto& [precision, bits] : {std::pair{_PC_24, 24}, std::pair{_PC_53, 53}}) {
        std::vector<double> doubles;
        std::vector<float> floats;
        {
            const ScopedX87Precision host(precision);
            for (const int64_t d : divisors) doubles.push_back(NudgedReciprocal(d)), floats.push_back(NudgedReciprocalFloat(d));
        }
        for (size_t i = 0; i < divisors.size(); ++i) {
            ASSERT_EQ(doubles[i], NudgedReciprocal(divisors[i])) << bits << "-bit x87, divisor " << divisors[i];
            ASSERT_EQ(floats[i], NudgedReciprocalFloat(divisors[i])) << bits << "-bit x87, divisor " << divisors[i];
        }
        const ScopedX87Precision host(precision);
        RunCases(GetParam(), {KernelKind::Small, KernelKind::FloatEdge, KernelKind::NarrowEdge, KernelKind::WideEdge}, 15,
                 0x5EED0005 + bits);
    }
}
#endif
