// The run-time choice of path: what the CPU offers, read here independently of the dispatcher,
// must all be offered and the best of it taken; the environment variable and the internal switch
// choose among them.
#include "DiffCases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace {

// The paths this CPU and operating system can run, from CPUID and XCR0.
bool CpuidOffers(ConvolvePath path)
{
    if (path == ConvolvePath::Reference) return true;
#if defined(__i386__) || defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool sse2 = d & (1u << 26), fma = c & (1u << 12), osxsave = c & (1u << 27), avx = c & (1u << 28);
    unsigned xcr0 = 0;
    if (osxsave) {
        unsigned high = 0;
        asm volatile("xgetbv" : "=a"(xcr0), "=d"(high) : "c"(0));
    }
    const bool ymmState = (xcr0 & 0x6) == 0x6, zmmState = (xcr0 & 0xE6) == 0xE6;
    unsigned b7 = 0, c7 = 0;
    __get_cpuid_count(7, 0, &a, &b7, &c7, &d);  // leaves b7 and c7 zero on CPUs without leaf 7
    const bool avx2 = sse2 && avx && fma && ymmState && (b7 & (1u << 5));
    const bool avx512 = avx2 && zmmState && (b7 & (1u << 16)) && (b7 & (1u << 30)) && (b7 & (1u << 31));
    switch (path) {
    case ConvolvePath::Sse2: return sse2;
    case ConvolvePath::Avx2: return avx2;
    case ConvolvePath::Avx512: return avx512;
    case ConvolvePath::Avx512Vnni: return avx512 && (c7 & (1u << 11));
    default: return false;
    }
#else
    return false;
#endif
}

void SetEngineVariable(const char* assignment)
{
    static char text[64];
    std::snprintf(text, sizeof text, "%s", assignment);
    putenv(text);
}

// Filters a small frame and reports the path that ran.
ConvolvePath PathOfOneConvolve()
{
    DiffCase c;
    c.width = 20;
    c.height = 3;
    c.weights = std::vector<int32_t>(9, 1);
    c.divisor = 9;
    ProgressWindow progress;
    ConvolveRun run;
    EXPECT_EQ(CheckCase(c, progress, run), "");
    return run.path;
}

}  // namespace

TEST(ConvolveDispatch, OffersEveryPathTheCpuHasAndTakesTheBest)
{
    SetEngineVariable("KCF_ENGINE=");  // whatever the caller's environment says
    ConvolvePath best = ConvolvePath::Reference;
    for (int i = 0; i < kConvolvePathCount; ++i) {
        const auto path = static_cast<ConvolvePath>(i);
        EXPECT_EQ(ConvolvePathAvailable(path), CpuidOffers(path)) << ConvolvePathName(path);
        if (CpuidOffers(path)) best = path;
    }
    EXPECT_EQ(BestConvolvePath(), best);
    EXPECT_EQ(PathOfOneConvolve(), best);
}

TEST(ConvolveDispatch, EnvironmentVariableAndSwitchChooseThePath)
{
    SetEngineVariable("KCF_ENGINE=reference");
    EXPECT_EQ(PathOfOneConvolve(), ConvolvePath::Reference);
    SetEngineVariable("KCF_ENGINE=sse2");
    if (ConvolvePathAvailable(ConvolvePath::Sse2)) {
        EXPECT_EQ(PathOfOneConvolve(), ConvolvePath::Sse2);
    }
    // A path beyond the CPU is lowered to the best it has; a name we do not know means the best.
    SetEngineVariable("KCF_ENGINE=avx512vnni");
    EXPECT_EQ(PathOfOneConvolve(), BestConvolvePath());
    SetEngineVariable("KCF_ENGINE=fastest");
    EXPECT_EQ(PathOfOneConvolve(), BestConvolvePath());

    // A guard wins over the variable, the innermost of nested guards decides, and each hears of
    // the runs made under it; when the guards end the variable decides again.
    SetEngineVariable("KCF_ENGINE=reference");
    {
        const ScopedConvolvePath outer(BestConvolvePath());
        ASSERT_TRUE(outer.Active());
        EXPECT_EQ(PathOfOneConvolve(), BestConvolvePath());
        EXPECT_EQ(outer.LastRun().path, BestConvolvePath());
        {
            const ScopedConvolvePath inner(ConvolvePath::Reference);
            EXPECT_EQ(PathOfOneConvolve(), ConvolvePath::Reference);
            EXPECT_EQ(inner.LastRun().rows, 3);
        }
        EXPECT_EQ(PathOfOneConvolve(), BestConvolvePath());
    }
    EXPECT_EQ(PathOfOneConvolve(), ConvolvePath::Reference);
    SetEngineVariable("KCF_ENGINE=");
    EXPECT_EQ(PathOfOneConvolve(), BestConvolvePath());
}

// The scratch block's layout, for every kind of plan and the widths at the edges: planes start on a
// cache line with padding before pixel 0 and after the padded width, the regions follow one another
// without overlap, the ring holds every row a pass reads, and widths the runner cannot take are refused.
TEST(ConvolveRunnerLayout, PlanesAlignedRegionsDisjointAndWidthsBounded)
{
    struct Kind {
        const char* name;
        ConvolveTier tier;
        bool separable, sharedRows;
    };
    const Kind kinds[] = {{"narrow dense, shared rows", ConvolveTier::Narrow, false, true},
                          {"narrow dense, one row", ConvolveTier::Narrow, false, false},
                          {"narrow separable", ConvolveTier::Narrow, true, false},
                          {"wide dense", ConvolveTier::Wide, false, false},
                          {"wide separable", ConvolveTier::Wide, true, false}};
    for (const Kind& kind : kinds)
        for (int size : {3, 5, 7, 9})
            for (int shareable : {1, 2, 3, 4})
                for (int width : {1, 31, 32, 33, 1920, 65535, 1 << 24}) {
                    ConvolvePlan plan;
                    plan.tier = kind.tier;
                    plan.size = size;
                    plan.separable = kind.separable;
                    plan.sharedRows = kind.sharedRows;
                    const RunnerLayout l = LayoutRunner(plan, width, shareable);
                    const std::string what = std::string(kind.name) + " size " + std::to_string(size) + " width " +
                                             std::to_string(width) + " shareable " + std::to_string(shareable);
                    // Every width a frame can have is taken; beyond, a block past 2^31 bytes (whose
                    // size a 32-bit build could not even compute) is refused.
                    if (width > 65535 && !l.ok) continue;
                    ASSERT_TRUE(l.ok) << what;
                    const int expectedOutputs = kind.sharedRows ? std::min(shareable, kMaxSharedRows) : 1;
                    EXPECT_EQ(l.outputs, expectedOutputs) << what;
                    EXPECT_EQ(l.ringSlots, size + l.outputs - 1) << what;
                    EXPECT_EQ(l.elementBytes, kind.tier == ConvolveTier::Wide ? 8u : 4u) << what;
                    EXPECT_GE(l.paddedWidth, width) << what;
                    EXPECT_EQ(l.paddedWidth % kChunkPixels, 0) << what;
                    EXPECT_GE(l.planeStride, static_cast<size_t>(l.paddedWidth + 2 * kRowPad)) << what;
                    // Pixel 0 of every plane of every row (ring, zero, scratch) on a cache line.
                    EXPECT_EQ((l.planeStride * l.elementBytes) % 64, 0u) << what;
                    EXPECT_EQ((kRowPad * l.elementBytes) % 64, 0u) << what;
                    EXPECT_EQ(l.rowBytes, 3 * l.planeStride * l.elementBytes) << what;
                    EXPECT_EQ(l.zeroRowOffset, l.rowBytes * l.ringSlots) << what;
                    size_t next = l.zeroRowOffset + l.rowBytes;
                    if (kind.separable) {
                        EXPECT_EQ(l.scratchOffset, next) << what;
                        next += l.rowBytes;
                    } else {
                        EXPECT_EQ(l.scratchOffset, 0u) << what;
                    }
                    EXPECT_EQ(l.selectionOffset, next) << what;
                    EXPECT_EQ(l.selectionOffset % 64, 0u) << what;
                    EXPECT_GE(l.selectionWords * 64, static_cast<size_t>(l.paddedWidth) + 1) << what;
                    EXPECT_EQ(l.totalBytes, l.selectionOffset + l.selectionWords * 8 * l.outputs) << what;
                    EXPECT_LT(static_cast<uint64_t>(l.totalBytes), uint64_t(1) << 31) << what;
                }
    ConvolvePlan plan;
    plan.tier = ConvolveTier::Narrow;
    plan.size = 3;
    for (int width : {0, -1, (1 << 24) + 1}) EXPECT_FALSE(LayoutRunner(plan, width, 3).ok) << width;
    plan.tier = ConvolveTier::Wide;
    plan.size = 9;
    plan.separable = true;
    EXPECT_FALSE(LayoutRunner(plan, 1 << 24, 1).ok);  // eleven rows of 400 MB
    plan.tier = ConvolveTier::Scalar;
    EXPECT_FALSE(LayoutRunner(plan, 100, 3).ok);
}
