// Measures how many vector multiply-adds a nanosecond this machine retires when nothing else
// limits them: independent accumulators, operands in registers, no memory traffic.
#include "MaddRate.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr long kIterations = 200000;

#if defined(__x86_64__) || defined(__i386__)
// 64-bit builds keep twelve accumulators in flight, enough to hide the latency of two a cycle;
// 32-bit builds have eight vector registers and keep six (a lower bound on the rate there).
// One multiply-add of the two source registers into accumulator n.
#define KCF_MADD(op, reg, a, b, n) op " %%" reg a ", %%" reg b ", %%" reg n "\n\t"
#if defined(__x86_64__)
constexpr int kChains = 12;
#define KCF_MADD_CHAINS(op, reg)                                                                            \
    KCF_MADD(op, reg, "12", "13", "0") KCF_MADD(op, reg, "12", "13", "1") KCF_MADD(op, reg, "12", "13", "2")   \
    KCF_MADD(op, reg, "12", "13", "3") KCF_MADD(op, reg, "12", "13", "4") KCF_MADD(op, reg, "12", "13", "5")   \
    KCF_MADD(op, reg, "12", "13", "6") KCF_MADD(op, reg, "12", "13", "7") KCF_MADD(op, reg, "12", "13", "8")   \
    KCF_MADD(op, reg, "12", "13", "9") KCF_MADD(op, reg, "12", "13", "10") KCF_MADD(op, reg, "12", "13", "11")
#else
constexpr int kChains = 6;
#define KCF_MADD_CHAINS(op, reg)                                                                          \
    KCF_MADD(op, reg, "6", "7", "0") KCF_MADD(op, reg, "6", "7", "1") KCF_MADD(op, reg, "6", "7", "2")       \
    KCF_MADD(op, reg, "6", "7", "3") KCF_MADD(op, reg, "6", "7", "4") KCF_MADD(op, reg, "6", "7", "5")
#endif

// The timed loop: n rounds of the chains, with every vector register they use declared clobbered.
#if defined(__x86_64__)
#define KCF_MADD_CLOBBERS \
    "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "xmm11", "xmm12", "xmm13"
#else
#define KCF_MADD_CLOBBERS "xmm0", "xmm1", "xmm2", "xmm3", "xmm4", "xmm5", "xmm6", "xmm7"
#endif
#define KCF_MADD_LOOP(op, reg, n)                                                                                  \
    asm volatile("1:\n\t" KCF_MADD_CHAINS(op, reg) "dec %0\n\tjnz 1b" : "+r"(n) : : "cc", KCF_MADD_CLOBBERS); \
    asm volatile("vzeroupper")

__attribute__((target("avx512f,avx512vnni"))) void VnniLoop(long n) { KCF_MADD_LOOP("vpdpwssd", "zmm", n); }

// vpmaddwd has no accumulator: the product goes to the register, which breaks no chain.
__attribute__((target("avx2"))) void Avx2Loop(long n) { KCF_MADD_LOOP("vpmaddwd", "ymm", n); }
#endif

}  // namespace

double MaddsPerNanosecond(bool wide)
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (wide ? !(__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vnni"))
             : !__builtin_cpu_supports("avx2"))
        return 0;
    double best = 0;
    for (int run = 0; run < 7; ++run) {
        const auto start = std::chrono::steady_clock::now();
        if (wide)
            VnniLoop(kIterations);
        else
            Avx2Loop(kIterations);
        const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
        best = std::max(best, static_cast<double>(kIterations) * kChains / ns);
    }
    return best;
#else
    (void)wide;
    return 0;
#endif
}
