// The run-time choice of path: what the CPU offers, read here independently of the dispatcher,
// must all be offered and the best of it taken; the environment variable and the internal switch
// choose among them.
#include "DiffCases.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

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

    // The internal switch wins over the variable, and clearing it hands back to the variable.
    SetEngineVariable("KCF_ENGINE=reference");
    ASSERT_TRUE(ForceConvolvePath(BestConvolvePath()));
    EXPECT_EQ(PathOfOneConvolve(), BestConvolvePath());
    ClearForcedConvolvePath();
    EXPECT_EQ(PathOfOneConvolve(), ConvolvePath::Reference);
    SetEngineVariable("KCF_ENGINE=");
    EXPECT_EQ(PathOfOneConvolve(), BestConvolvePath());
}
