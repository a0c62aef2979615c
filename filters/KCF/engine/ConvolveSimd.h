// The fast engine's row kernels, written once over an instruction set's primitives; each
// instruction set file instantiates them with its own primitives type.
//
// Only the instruction set files include this. Their primitives types live in anonymous
// namespaces, so every instantiation here has internal linkage, and the helpers below are static:
// code built for a wider instruction set can never be picked by the linker for another caller.
//
// Rows are planar (see ConvolvePlan.h): a vector holds one channel of kLanes adjacent pixels. A
// primitives type Isa provides:
//   VI        kLanes 32-bit lanes
//   kGroups   groups of kLanes pixels a chunk: 2 (six accumulators) where the registers allow,
//             1 where a 32-bit build's eight vector registers would otherwise spill them
//   kWideChannels  channels the wide tier sums in one pass over the taps: 3, or 1 where that spills
//   kSharedRows, kSharedGroups, kSharedChannels  output rows, groups of kLanes pixels and channels
//             (3, or 1 a pass) that the shared-load dense kernel keeps in accumulators at once
//             (kSharedRows 1: no such kernel)
//   VF, VDB   single and double vectors for the quotient of VI lanes
//   kConstantsInMemory  whether the finish reads its constants from memory at each use (as
//             broadcast operands) rather than keeping them in registers beside the accumulators
//   kWeightRegisters  whether the shared-load kernel broadcasts each weight pattern into a register
//             once for all the products that use it, rather than as an operand of each (MaddFrom)
//   kMultiplyHigh, MulHigh(s, magic, evenShift, oddShift, negative), Set64: whether the
//             ReciprocalDouble kind multiplies the lanes' magnitudes by the plan's magic (32 x 32 ->
//             64 bits) instead of using doubles, and that quotient: sign(s) * floor(|s| * magic /
//             2^shift), negated where negative (the shifts as 64-bit lanes: shift and shift - 32)
//   VD        kLanes / 2 doubles
//   Pin(v)    an empty barrier that keeps v in a register as it is (no regrouping of sums)
//   Zero Set1 Load Store Madd MaddFrom(acc, a, pattern address) Add Sub Min Max Xor MulLo Srai Srli SetF MulFloat SetD MulDouble Fence
//   ZeroW SetW LoadW StoreW FmaW AddW MulW DivW MinW MaxW TruncW ToInt(low, high)
//   ToWide(v, low, high): the lanes of v as doubles, the first kLanes / 2 in low
//   PreparePairs(out, planeStride, row, width, paddedWidth)
//   Equal8(ids, value), Equal16(ids, value): a bit for each of 64 ids, set where it equals value
//   kStoreFull, StoreFull(dst, src, r, g, b, invert, stream): whether the shared-load kernel stores
//     whole chunks without a test per group, and the store: kLanes pixels, all selected and inside
//     the row; stream only where dst starts a cache line
//   StorePixels(dst, src, r, g, b, invert, bits, count, stream): packs kLanes pixels from the
//     channel vectors, each lane saturated to 0 .. 65535 and then xored with the low 16 bits of
//     invert's lanes, takes alpha from src, and stores the pixels whose bit is set; only the first
//     count pixels of src and dst may be touched. With stream, whole aligned stores may bypass the
//     cache. Lanes lie within -2^31 + 2^15 .. 2^31 - 2^15.
#pragma once

#include "ConvolvePlan.h"

#include <type_traits>

namespace kcf_simd {

// The selection bits of the chunk of chunk pixels at x (x a multiple of chunk, chunk <= 32).
template <int chunk>
static inline unsigned ChunkBits(const uint64_t* words, int x)
{
    return static_cast<unsigned>((words[x >> 6] >> (x & 63)) & ((uint64_t(1) << chunk) - 1));
}

// Asks for the cache lines of chunk source pixels (8 bytes each) ahead of their use.
template <int chunk>
static inline void Prefetch(const BMM_Color_64* p)
{
    for (int i = 0; i < chunk; i += 8) __builtin_prefetch(p + i, 0, 3);
}

// One prepared entry of each plane, for the row ends where a neighbour lies outside the row.
static inline void PairsAt(int32_t* out, size_t planeStride, const BMM_Color_64* row, int width, int x)
{
    const BMM_Color_64 zero = {0, 0, 0, 0};
    const BMM_Color_64& p = x >= 0 && x < width ? row[x] : zero;
    const BMM_Color_64& n = x + 1 >= 0 && x + 1 < width ? row[x + 1] : zero;
    const uint32_t flip = 0x80008000u;
    out[x] = static_cast<int32_t>((p.r | uint32_t(n.r) << 16) ^ flip);
    out[x + planeStride] = static_cast<int32_t>((p.g | uint32_t(n.g) << 16) ^ flip);
    out[x + 2 * planeStride] = static_cast<int32_t>((p.b | uint32_t(n.b) << 16) ^ flip);
}

template <class Isa>
static void PrepareWideT(double* out, size_t planeStride, const BMM_Color_64* row, int width, int paddedWidth)
{
    for (int x = -kRowPad; x < paddedWidth + kRowPad; ++x) {
        const bool inside = x >= 0 && x < width;
        out[x] = inside ? row[x].r : 0;
        out[x + planeStride] = inside ? row[x].g : 0;
        out[x + 2 * planeStride] = inside ? row[x].b : 0;
    }
}

// Calls f with the divisor kind as a compile-time constant (a std::integral_constant), so that each
// kind gets code of its own: the one switch over the kinds.
template <class F>
static inline decltype(auto) WithDivideKind(DivideKind kind, F&& f)
{
    using K = DivideKind;
    switch (kind) {
    case K::None: break;
    case K::Negate: return f(std::integral_constant<K, K::Negate>{});
    case K::Shift: return f(std::integral_constant<K, K::Shift>{});
    case K::NegShift: return f(std::integral_constant<K, K::NegShift>{});
    case K::ReciprocalFloat: return f(std::integral_constant<K, K::ReciprocalFloat>{});
    case K::ReciprocalDouble: return f(std::integral_constant<K, K::ReciprocalDouble>{});
    case K::Window: return f(std::integral_constant<K, K::Window>{});
    case K::UnsignedShift: return f(std::integral_constant<K, K::UnsignedShift>{});
    }
    return f(std::integral_constant<K, K::None>{});
}

// A sum in doubles to a result channel, 0 .. 65535: divided (or multiplied by the reciprocal) as the
// plan's wide divide says, truncated, offset and clamped. The wide tier and the Window kind share it;
// the Window kind's sums (kSmallSums: below 2^32) need neither the true division nor the bounds
// before the truncation, and its code has neither.
template <class Isa, bool kSmallSums = false>
struct WideFinish {
    using VD = typename Isa::VD;
    WideDivide kind;
    VD factor, divisor, offset, zero, top;
    // Beyond +-2^50 the offset (|offset| < 2^31) cannot bring a quotient back into 0 .. 65535.
    VD limitLow, limitHigh;

    explicit WideFinish(const ConvolvePlan& plan)
        : kind(plan.wideDivide), factor(Isa::SetW(plan.wideFactor)), divisor(Isa::SetW(plan.divisor)),
          offset(Isa::SetW(plan.wideOffset)), zero(Isa::ZeroW()), top(Isa::SetW(65535.0)),
          limitLow(Isa::SetW(-1125899906842624.0)), limitHigh(Isa::SetW(1125899906842624.0))
    {
    }

    VD operator()(VD a) const
    {
        VD q = a;
        if (kind == WideDivide::Multiply)
            q = Isa::MulW(a, factor);
        else if (!kSmallSums && kind == WideDivide::Divide)
            q = Isa::DivW(a, divisor);
        if constexpr (!kSmallSums) q = Isa::MinW(Isa::MaxW(q, limitLow), limitHigh);
        q = Isa::TruncW(q);
        return Isa::MinW(Isa::MaxW(Isa::AddW(q, offset), zero), top);
    }
};

// The sum in 32-bit lanes to a result channel, by the plan's divisor kind. The accumulators start
// at the plan's bias (Start), so that they end at the sum itself.
template <class Isa, DivideKind kind>
struct Finisher {
    using VI = typename Isa::VI;
    // The constants as scalars: with kConstantsInMemory every use broadcasts one from memory (an
    // operand of the instruction itself); elsewhere the compiler keeps each in a register.
    int32_t low, high, offset;
    int32_t invert;  // the invert mask in both 16-bit halves, for the store
    int32_t magic;
    int64_t magicShifts[2];  // for the even and the odd lanes' products
    float reciprocalF;
    double reciprocalD;
    int shift;
    bool negativeDivisor;
    const ConvolvePlan* plan;  // for the Window kind's finish in doubles

    explicit Finisher(const ConvolvePlan& p)
        : low(p.quotientLow), high(p.quotientHigh), offset(p.offset),
          invert(static_cast<int32_t>(p.invertMask * 0x10001u)), magic(static_cast<int32_t>(p.magic)),
          magicShifts{p.magicShift, p.magicShift - 32}, reciprocalF(p.reciprocalFloat), reciprocalD(p.reciprocal),
          shift(p.shift), negativeDivisor(p.divisor < 0), plan(&p)
    {
    }

    // v itself, or with kConstantsInMemory, v read from memory at the point of use.
    template <class T>
    static const T& Fresh(const T& v)
    {
        if constexpr (Isa::kConstantsInMemory) {
            const T* at = &v;
            asm volatile("" : "+r"(at));  // volatile: one read per use, none merged
            return *at;
        } else {
            return v;
        }
    }

    // The accumulators' first value, read from the plan afresh where registers are few.
    static VI Start(const ConvolvePlan& p)
    {
        const int32_t* at = &p.bias;
        asm("" : "+r"(at));
        return Isa::Set1(*at);
    }

    VI Invert() const { return Isa::Set1(Fresh(invert)); }

    VI operator()(VI s) const { return Apply<kind>(s); }

    template <DivideKind which>
    VI Apply(VI s) const
    {
        if constexpr (which == DivideKind::Window) {
            // S itself, exactly, as two halves of doubles; then the wide tier's finish, which
            // leaves every lane within 0 .. 65535.
            typename Isa::VD first, second;
            Isa::ToWide(Isa::Sub(s, Isa::Set1(Fresh(plan->windowBias))), first, second);
            const typename Isa::VD base = Isa::SetW(plan->windowBase);
            const WideFinish<Isa, true> wide(*plan);
            return Isa::ToInt(wide(Isa::AddW(first, base)), wide(Isa::AddW(second, base)));
        }
        VI q;
        if constexpr (which == DivideKind::None) {
            q = s;
        } else if constexpr (which == DivideKind::Negate) {
            q = Isa::Sub(Isa::Zero(), s);
        } else if constexpr (which == DivideKind::Shift || which == DivideKind::NegShift) {
            // Add 2^k - 1 to negative sums first, so that the shift truncates toward zero.
            const VI rounded = Isa::Add(s, Isa::Srli(Isa::Srai(s, 31), 32 - shift));
            q = Isa::Srai(rounded, shift);
            if constexpr (which == DivideKind::NegShift) q = Isa::Sub(Isa::Zero(), q);
        } else if constexpr (which == DivideKind::UnsignedShift) {
            q = Isa::Srli(s, shift);
        } else if constexpr (which == DivideKind::ReciprocalFloat) {
            q = Isa::MulFloat(s, Isa::SetF(Fresh(reciprocalF)));
        } else if constexpr (Isa::kMultiplyHigh) {
            q = Isa::MulHigh(s, Isa::Set1(Fresh(magic)), Isa::Set64(Fresh(magicShifts[0])),
                             Isa::Set64(Fresh(magicShifts[1])), negativeDivisor);
        } else {
            q = Isa::MulDouble(s, Isa::SetD(Fresh(reciprocalD)));
        }
        // Divisors 0, 1 and -1 leave |q| up to 2^31: clamped first, so that the offset cannot
        // overflow. Every other kind's q + offset fits 32 bits (see ConvolvePlan), and the store
        // saturates it.
        if constexpr (which == DivideKind::None || which == DivideKind::Negate)
            q = Isa::Min(Isa::Max(q, Isa::Set1(Fresh(low))), Isa::Set1(Fresh(high)));
        return Isa::Add(q, Isa::Set1(Fresh(offset)));
    }
};

// Sanitized builds check memory and undefined behaviour, which the divisor kind does not change.
// There the shared-load kernel takes the kind at run time through AnyKindFinisher: one
// instantiation a kernel size instead of one for each kind, which keeps those builds' compile time
// bounded.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif
#else
constexpr bool kSanitizedBuild = false;
#endif

template <class Isa>
struct AnyKindFinisher : Finisher<Isa, DivideKind::None> {
    DivideKind kind;

    explicit AnyKindFinisher(const ConvolvePlan& p) : Finisher<Isa, DivideKind::None>(p), kind(p.divide) {}

    typename Isa::VI operator()(typename Isa::VI acc) const
    {
        return WithDivideKind(kind, [&](auto which) { return this->template Apply<which.value>(acc); });
    }
};

// Stores one group of kLanes finished pixels at x of output row o, if any of them is selected.
template <class Isa>
static inline void StoreGroup(const RowJob& job, int o, int x, unsigned bits, typename Isa::VI r,
                              typename Isa::VI g, typename Isa::VI b, typename Isa::VI invert)
{
    if (!bits) return;
    const int count = job.width - x;
    Isa::StorePixels(job.work[o] + x, job.source[o] + x, r, g, b, invert, bits,
                     count < Isa::kLanes ? count : Isa::kLanes, job.stream);
}

template <int chunk>
static inline void PrefetchUpcoming(const RowJob& job, int x)
{
    for (const BMM_Color_64* row : job.upcoming)
        if (row) Prefetch<chunk>(row + x);
}

// One pair tap into a chunk's accumulators: three channel planes (stride apart), kGroups groups of
// kLanes pixels each, all multiplied by the tap's weight pattern w.
template <class Isa>
static inline __attribute__((always_inline)) void MaddTap(typename Isa::VI* acc, const int32_t* p, size_t stride,
                                                          typename Isa::VI w)
{
    constexpr int lanes = Isa::kLanes;
    constexpr int groups = Isa::kGroups;
    for (int c = 0; c < 3; ++c)
        for (int g = 0; g < groups; ++g)
            acc[c * groups + g] = Isa::Madd(acc[c * groups + g], Isa::Load(p + c * stride + g * lanes), w);
}

// Narrow dense path: every pair tap over the window's prepared rows, kGroups groups of kLanes
// pixels at a time (three accumulators a group, one for each channel).
template <class Isa, DivideKind kind>
static void DenseRowT(const ConvolvePlan& plan, const RowJob& job)
{
    using VI = typename Isa::VI;
    constexpr int lanes = Isa::kLanes;
    constexpr int groups = Isa::kGroups;
    constexpr int chunk = groups * lanes;
    constexpr unsigned groupMask = (1u << lanes) - 1;
    const Finisher<Isa, kind> finish(plan);
    const size_t stride = job.planeStride;
    const int taps = plan.pairTapCount;
    const int32_t* tapRows[kMaxPairTaps];
    for (int t = 0; t < taps; ++t)
        tapRows[t] = static_cast<const int32_t*>(job.rows[plan.pairTaps[t].row]) + plan.pairTaps[t].offset;

    for (int x = 0; x < job.width; x += chunk) {
        PrefetchUpcoming<chunk>(job, x);
        const unsigned bits = ChunkBits<chunk>(job.selected[0], x);
        if (!bits) continue;
        VI acc[3 * groups];
        for (VI& a : acc) a = finish.Start(plan);
        for (int t = 0; t < taps; ++t)
            MaddTap<Isa>(acc, tapRows[t] + x, stride, Isa::Set1(plan.pairTaps[t].pattern));
        for (int g = 0; g < groups; ++g)
            StoreGroup<Isa>(job, 0, x + g * lanes, (bits >> (g * lanes)) & groupMask, finish(acc[g]),
                            finish(acc[groups + g]), finish(acc[2 * groups + g]), finish.Invert());
    }
    Isa::Fence();
}

// Narrow dense path over several output rows at once: each vector loaded from a prepared row is
// multiplied into every output row whose window holds that row, so that a load feeds up to
// kSharedRows multiply-adds. The kernel size is a constant here, so every loop unrolls and each
// weight pair is a broadcast operand, or with kWeightRegisters a register broadcast once.
template <class Isa, class Finish, int size>
static void SharedRowsT(const ConvolvePlan& plan, const RowJob& job)
{
    using VI = typename Isa::VI;
    constexpr int lanes = Isa::kLanes;
    constexpr int groups = Isa::kSharedGroups;
    constexpr int outputs = Isa::kSharedRows;
    constexpr int channels = Isa::kSharedChannels;
    static_assert(channels == 1 || channels == 3);
    constexpr int chunk = groups * lanes;
    constexpr int pairs = (size + 1) / 2;
    constexpr int half = size / 2;
    constexpr int inputs = size + outputs - 1;
    constexpr unsigned groupMask = lanes == 32 ? ~0u : (1u << lanes) - 1;
    const Finish finish(plan);
    const size_t stride = job.planeStride;
    const int32_t* rows[inputs];
    for (int j = 0; j < inputs; ++j) rows[j] = static_cast<const int32_t*>(job.rows[j]);
    const uint64_t* selected[outputs];
    bool streamRow[outputs];
    for (int o = 0; o < outputs; ++o) {
        selected[o] = job.selected[o < job.outputs ? o : 0];
        // Chunks are whole cache lines apart, so a row whose start is aligned streams every chunk.
        streamRow[o] = job.stream && (reinterpret_cast<uintptr_t>(job.work[o < job.outputs ? o : 0]) & 63) == 0;
    }
    constexpr unsigned chunkMask = chunk == 32 ? ~0u : (1u << chunk) - 1;

    for (int x = 0; x < job.width; x += chunk) {
        PrefetchUpcoming<chunk>(job, x);
        unsigned bits[outputs];
        unsigned any = 0;
        for (int o = 0; o < outputs; ++o) {
            bits[o] = o < job.outputs ? ChunkBits<chunk>(selected[o], x) : 0;
            any |= bits[o];
        }
        if (!any) continue;
        // The weights are read afresh in every chunk, each just before its use: held across the
        // loop, the 45 patterns of a 9x9 would spill the accumulators.
        const int32_t* grid = &plan.pairGrid[0][0];
        asm("" : "+r"(grid));
        VI acc[outputs][3 * groups];
        // kSharedChannels channels a pass over the window: all three where the registers hold
        // their accumulators; else one, the finished channels waiting (on the stack) for the store.
#pragma GCC unroll 4
        for (int first = 0; first < 3; first += channels) {
#pragma GCC unroll 16
            for (int o = 0; o < outputs; ++o)
#pragma GCC unroll 16
                for (int c = first; c < first + channels; ++c)
#pragma GCC unroll 16
                    for (int g = 0; g < groups; ++g) acc[o][c * groups + g] = finish.Start(plan);
#pragma GCC unroll 16
            for (int j = 0; j < inputs; ++j) {
                const int32_t* p = rows[j] + x - half;
#pragma GCC unroll 16
                for (int k = 0; k < pairs; ++k) {
                    // With registers to spare, each weight pattern of this row and pair is broadcast
                    // once for its 3 x kSharedGroups products: a broadcast operand on every product
                    // would take a load slot each, and the loads are what this loop runs short of.
                    VI w[outputs];
                    if constexpr (Isa::kWeightRegisters)
#pragma GCC unroll 16
                        for (int o = 0; o < outputs; ++o)
                            if (j - o >= 0 && j - o < size) {
                                w[o] = Isa::Set1(grid[(j - o) * kMaxRowPairs + k]);
                                Isa::Pin(w[o]);
                            }
#pragma GCC unroll 16
                    for (int c = first; c < first + channels; ++c)
#pragma GCC unroll 16
                        for (int g = 0; g < groups; ++g) {
                            const VI v = Isa::Load(p + 2 * k + c * stride + g * lanes);
#pragma GCC unroll 16
                            for (int o = 0; o < outputs; ++o)
                                if (j - o >= 0 && j - o < size) {
                                    VI& a = acc[o][c * groups + g];
                                    if constexpr (Isa::kWeightRegisters)
                                        a = Isa::Madd(a, v, w[o]);
                                    else
                                        a = Isa::MaddFrom(a, v, grid + (j - o) * kMaxRowPairs + k);
                                    // Each sum stays one chain: regrouped, all of its products would
                                    // be live at once.
                                    Isa::Pin(a);
                                }
                        }
                }
            }
            // Finished in place, once for either store below.
#pragma GCC unroll 16
            for (int o = 0; o < outputs; ++o)
#pragma GCC unroll 16
                for (int c = first; c < first + channels; ++c)
#pragma GCC unroll 16
                    for (int g = 0; g < groups; ++g) acc[o][c * groups + g] = finish(acc[o][c * groups + g]);
        }
        if constexpr (Isa::kStoreFull) {
            bool full = x + chunk <= job.width;
            for (int o = 0; o < outputs; ++o) full = full && (o >= job.outputs || bits[o] == chunkMask);
            if (full) {  // the common case of the whole-image mode: no test per group
                // Unrolled, so that the accumulators stay in registers rather than an array.
#pragma GCC unroll 16
                for (int o = 0; o < outputs; ++o)
                    if (o < job.outputs)
#pragma GCC unroll 16
                        for (int g = 0; g < groups; ++g)
                            Isa::StoreFull(job.work[o] + x + g * lanes, job.source[o] + x + g * lanes, acc[o][g],
                                           acc[o][groups + g], acc[o][2 * groups + g], finish.Invert(), streamRow[o]);
                continue;
            }
        }
#pragma GCC unroll 16
        for (int o = 0; o < outputs; ++o)
#pragma GCC unroll 16
            for (int g = 0; g < groups; ++g)
                StoreGroup<Isa>(job, o, x + g * lanes, (bits[o] >> (g * lanes)) & groupMask, acc[o][g],
                                acc[o][groups + g], acc[o][2 * groups + g], finish.Invert());
    }
    Isa::Fence();
}

// Separable paths, first pass: one prepared row through the horizontal factor, plus its
// correction, gives the exact unbiased horizontal sums of that row, kept in 32-bit lanes or as
// doubles for a vertical pass in doubles.
template <class Isa, bool toDoubles, class Out>
static void HorizontalT(const ConvolvePlan& plan, Out* out, const int32_t* pairs, size_t stride, int paddedWidth)
{
    using VI = typename Isa::VI;
    constexpr int lanes = Isa::kLanes;
    constexpr int groups = Isa::kGroups;
    const VI correction = Isa::Set1(plan.rowCorrection);
    const int taps = plan.pairTapCount;
    for (int x = 0; x < paddedWidth; x += groups * lanes) {
        VI acc[3 * groups];
        for (VI& a : acc) a = correction;
        for (int t = 0; t < taps; ++t)
            MaddTap<Isa>(acc, pairs + x + plan.pairTaps[t].offset, stride, Isa::Set1(plan.pairTaps[t].pattern));
        for (int c = 0; c < 3; ++c)
            for (int g = 0; g < groups; ++g) {
                if constexpr (toDoubles) {
                    typename Isa::VD low, high;
                    Isa::ToWide(acc[c * groups + g], low, high);
                    Isa::StoreW(out + c * stride + x + g * lanes, low);
                    Isa::StoreW(out + c * stride + x + g * lanes + lanes / 2, high);
                } else
                    Isa::Store(out + c * stride + x + g * lanes, acc[c * groups + g]);
            }
    }
}

// Separable narrow path, second pass: the horizontal sums of the window's rows through the
// vertical factor.
template <class Isa, DivideKind kind>
static void SeparableRowT(const ConvolvePlan& plan, const RowJob& job)
{
    using VI = typename Isa::VI;
    constexpr int lanes = Isa::kLanes;
    constexpr int groups = Isa::kGroups;
    constexpr int chunk = groups * lanes;
    constexpr unsigned groupMask = (1u << lanes) - 1;
    const Finisher<Isa, kind> finish(plan);
    const size_t stride = job.planeStride;
    const int taps = plan.verticalTapCount;
    const int32_t* tapRows[kMaxKernelSize];
    for (int t = 0; t < taps; ++t) tapRows[t] = static_cast<const int32_t*>(job.rows[plan.verticalTaps[t].row]);

    for (int x = 0; x < job.width; x += chunk) {
        PrefetchUpcoming<chunk>(job, x);
        const unsigned bits = ChunkBits<chunk>(job.selected[0], x);
        if (!bits) continue;
        VI acc[3 * groups];
        for (VI& a : acc) a = finish.Start(plan);
        for (int t = 0; t < taps; ++t) {
            const VI w = Isa::Set1(plan.verticalTaps[t].weight);
            const int32_t* p = tapRows[t] + x;
            for (int c = 0; c < 3; ++c)
                for (int g = 0; g < groups; ++g)
                    acc[c * groups + g] =
                        Isa::Add(acc[c * groups + g], Isa::MulLo(Isa::Load(p + c * stride + g * lanes), w));
        }
        for (int g = 0; g < groups; ++g)
            StoreGroup<Isa>(job, 0, x + g * lanes, (bits >> (g * lanes)) & groupMask, finish(acc[g]),
                            finish(acc[groups + g]), finish(acc[2 * groups + g]), finish.Invert());
    }
    Isa::Fence();
}

// The wide tier: exact integer sums in doubles, then the same divide, offset, clamp and invert;
// one group of kLanes pixels at a time, kWideChannels channels a pass over the taps (two
// accumulators a channel).
template <class Isa>
static void WideRowT(const ConvolvePlan& plan, const RowJob& job)
{
    using VD = typename Isa::VD;
    using VI = typename Isa::VI;
    constexpr int lanes = Isa::kLanes;
    constexpr int half = lanes / 2;
    constexpr int perPass = Isa::kWideChannels;
    const size_t stride = job.planeStride;
    const int taps = plan.wideTapCount;
    const double* tapRows[kMaxWideTaps];
    for (int t = 0; t < taps; ++t)
        tapRows[t] = static_cast<const double*>(job.rows[plan.wideTaps[t].row]) + plan.wideTaps[t].offset;
    const WideFinish<Isa> finish(plan);
    const VI invert = Isa::Set1(static_cast<int32_t>(plan.invertMask * 0x10001u));  // every 16-bit word

    for (int x = 0; x < job.width; x += lanes) {
        PrefetchUpcoming<lanes>(job, x);
        const unsigned bits = ChunkBits<lanes>(job.selected[0], x);
        if (!bits) continue;
        VI result[3];
        for (int first = 0; first < 3; first += perPass) {
            VD acc[2 * perPass];
            for (VD& a : acc) a = Isa::ZeroW();
            for (int t = 0; t < taps; ++t) {
                const VD w = Isa::SetW(plan.wideTaps[t].weight);
                const double* p = tapRows[t] + x + first * stride;
                for (int c = 0; c < perPass; ++c) {
                    acc[2 * c] = Isa::FmaW(acc[2 * c], Isa::LoadW(p + c * stride), w);
                    acc[2 * c + 1] = Isa::FmaW(acc[2 * c + 1], Isa::LoadW(p + c * stride + half), w);
                }
            }
            for (VD& a : acc) a = finish(a);
            for (int c = 0; c < perPass; ++c) result[first + c] = Isa::ToInt(acc[2 * c], acc[2 * c + 1]);
        }
        StoreGroup<Isa>(job, 0, x, bits, result[0], result[1], result[2], invert);
    }
    Isa::Fence();
}

template <class Isa>
static void DenseRow(const ConvolvePlan& plan, const RowJob& job)
{
    WithDivideKind(plan.divide, [&](auto kind) { DenseRowT<Isa, kind.value>(plan, job); });
}

template <class Isa, int size>
static void SharedRowsOfSize(const ConvolvePlan& plan, const RowJob& job)
{
    if constexpr (kSanitizedBuild)
        SharedRowsT<Isa, AnyKindFinisher<Isa>, size>(plan, job);
    else
        WithDivideKind(plan.divide, [&](auto kind) { SharedRowsT<Isa, Finisher<Isa, kind.value>, size>(plan, job); });
}

template <class Isa>
static void SharedRows(const ConvolvePlan& plan, const RowJob& job)
{
    switch (plan.size) {
    case 3: SharedRowsOfSize<Isa, 3>(plan, job); break;
    case 5: SharedRowsOfSize<Isa, 5>(plan, job); break;
    case 7: SharedRowsOfSize<Isa, 7>(plan, job); break;
    default: SharedRowsOfSize<Isa, 9>(plan, job); break;
    }
}

template <class Isa>
static void SeparableRow(const ConvolvePlan& plan, const RowJob& job)
{
    WithDivideKind(plan.divide, [&](auto kind) { SeparableRowT<Isa, kind.value>(plan, job); });
}

template <class Isa, class Id>
static void SelectT(uint64_t* words, const Id* ids, int width, Id value)
{
    int x = 0;
    for (; x + 64 <= width; x += 64) {
        if constexpr (sizeof(Id) == 1)
            words[x >> 6] = Isa::Equal8(ids + x, value);
        else
            words[x >> 6] = Isa::Equal16(ids + x, value);
    }
    if (x < width) {
        uint64_t bits = 0;
        for (int i = x; i < width; ++i) bits |= uint64_t(ids[i] == value) << (i - x);
        words[x >> 6] = bits;
    }
}

template <class Isa>
static ConvolveKernels MakeKernels()
{
    ConvolveKernels kernels = {&Isa::PreparePairs,
                               &PrepareWideT<Isa>,
                               &HorizontalT<Isa, false, int32_t>,
                               &HorizontalT<Isa, true, double>,
                               &DenseRow<Isa>,
                               nullptr,
                               1,
                               &SeparableRow<Isa>,
                               &WideRowT<Isa>,
                               &SelectT<Isa, uint8_t>,
                               &SelectT<Isa, uint16_t>};
    if constexpr (Isa::kSharedRows > 1) {
        kernels.sharedRow = &SharedRows<Isa>;
        kernels.sharedRowCount = Isa::kSharedRows;
    }
    return kernels;
}

}  // namespace kcf_simd
