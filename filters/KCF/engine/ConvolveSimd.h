// The fast engine's row kernels, written once over an instruction set's primitives; each
// instruction set file instantiates them with its own primitives type.
//
// Only the instruction set files include this. Their primitives types live in anonymous
// namespaces, so every instantiation here has internal linkage, and the helpers below are static:
// code built for a wider instruction set can never be picked by the linker for another caller.
//
// A primitives type Isa provides:
//   VI        integer vector of kPx pixels, four 32-bit lanes a pixel (r, g, b, unused)
//   VF, VDB   single and double vectors for the quotient of VI lanes
//   VD        double vector of kWidePx pixels, four lanes a pixel; kWidePerInt of them make one VI
//   Zero Set1 LoadPattern LoadPairs LoadSums StoreSums StoreSumsWide Madd Add Sub Min Max Xor MulLo Srai Srli
//   SetF DivFloat SetD DivDouble
//   ZeroW SetW LoadW FmaW AddW DivW MinW MaxW TruncW ToInt
//   PreparePairs(out, row, width, paddedWidth)
//   StorePixels2(dst, src, a, b, bits, count, stream): packs the 2 * kPx pixels of a and b (lanes
//     in 0 .. 65535), takes alpha from src, and stores the pixels whose bit is set; only the first
//     count pixels of src and dst may be touched. With stream, a whole aligned store may bypass
//     the cache.
//   Fence: orders streamed stores before whatever follows the row.
#pragma once

#include "ConvolvePlan.h"

namespace kcf_simd {

// The selection bits of the chunk of chunk pixels at x (x a multiple of chunk, chunk <= 16).
template <int chunk>
static inline unsigned ChunkBits(const uint64_t* words, int x)
{
    return static_cast<unsigned>((words[x >> 6] >> (x & 63)) & ((uint64_t(1) << chunk) - 1));
}

// Asks for the cache lines of chunk source pixels (8 bytes each) ahead of their use.
template <int chunk>
static inline void Prefetch(const BMM_Color_64* p)
{
    if constexpr (chunk < 8)
        __builtin_prefetch(p, 0, 3);  // a line holds 8 pixels: one request covers this chunk and the next
    else
        for (int i = 0; i < chunk; i += 8) __builtin_prefetch(p + i, 0, 3);
}

// One prepared pair, for the row ends where a neighbour lies outside the row.
static inline void PairAt(PairPixel& out, const BMM_Color_64* row, int width, int x)
{
    const BMM_Color_64 zero = {0, 0, 0, 0};
    const BMM_Color_64& p = x >= 0 && x < width ? row[x] : zero;
    const BMM_Color_64& n = x + 1 >= 0 && x + 1 < width ? row[x + 1] : zero;
    const uint16_t values[8] = {p.r, n.r, p.g, n.g, p.b, n.b, p.a, n.a};
    for (int i = 0; i < 8; ++i) out.v[i] = static_cast<int16_t>(values[i] ^ 0x8000);
}

template <class Isa>
static void PrepareWideT(WidePixel* out, const BMM_Color_64* row, int width, int paddedWidth)
{
    for (int x = -kRowPad; x < paddedWidth + kRowPad; ++x) {
        WidePixel& w = out[x];
        if (x >= 0 && x < width) {
            w.v[0] = row[x].r;
            w.v[1] = row[x].g;
            w.v[2] = row[x].b;
            w.v[3] = row[x].a;
        } else {
            w.v[0] = w.v[1] = w.v[2] = w.v[3] = 0;
        }
    }
}

// The sum in 32-bit lanes to the result channels, by the plan's divisor kind.
template <class Isa, DivideKind kind>
struct Finisher {
    using VI = typename Isa::VI;
    VI bias, low, high, offset, invert;
    typename Isa::VF divisorF;
    typename Isa::VDB divisorD;
    int shift;

    explicit Finisher(const ConvolvePlan& p)
        : bias(Isa::Set1(p.bias)), low(Isa::Set1(p.quotientLow)), high(Isa::Set1(p.quotientHigh)),
          offset(Isa::Set1(p.offset)), invert(Isa::Set1(p.invertMask)),
          divisorF(Isa::SetF(static_cast<float>(p.divisor))), divisorD(Isa::SetD(p.divisor)), shift(p.shift)
    {
    }

    VI operator()(VI acc) const
    {
        const VI s = Isa::Add(acc, bias);
        VI q;
        if constexpr (kind == DivideKind::None) {
            q = s;
        } else if constexpr (kind == DivideKind::Negate) {
            q = Isa::Sub(Isa::Zero(), s);
        } else if constexpr (kind == DivideKind::Shift || kind == DivideKind::NegShift) {
            // Add 2^k - 1 to negative sums first, so that the shift truncates toward zero.
            const VI rounded = Isa::Add(s, Isa::Srli(Isa::Srai(s, 31), 32 - shift));
            q = Isa::Srai(rounded, shift);
            if constexpr (kind == DivideKind::NegShift) q = Isa::Sub(Isa::Zero(), q);
        } else if constexpr (kind == DivideKind::Float) {
            q = Isa::DivFloat(s, divisorF);
        } else {
            q = Isa::DivDouble(s, divisorD);
        }
        return Isa::Xor(Isa::Add(Isa::Min(Isa::Max(q, low), high), offset), invert);
    }
};

// Stores a chunk's four finished vectors: the pixels at x whose selection bit is set.
template <class Isa>
static inline void StoreChunk(const RowJob& job, int x, unsigned bits, typename Isa::VI v0, typename Isa::VI v1,
                              typename Isa::VI v2, typename Isa::VI v3)
{
    constexpr int half = 2 * Isa::kPx;
    constexpr unsigned halfMask = (1u << half) - 1;
    const int count = job.width - x;
    if (bits & halfMask)
        Isa::StorePixels2(job.work + x, job.source + x, v0, v1, bits & halfMask, count < half ? count : half,
                          job.stream);
    if ((bits >> half) & halfMask)
        Isa::StorePixels2(job.work + x + half, job.source + x + half, v2, v3, (bits >> half) & halfMask,
                          count - half < half ? count - half : half, job.stream);
}

template <class Isa, DivideKind kind>
static void DenseRowT(const ConvolvePlan& plan, const RowJob& job)
{
    using VI = typename Isa::VI;
    constexpr int px = Isa::kPx;
    constexpr int chunk = 4 * px;
    const Finisher<Isa, kind> finish(plan);
    const int taps = plan.pairTapCount;
    const PairPixel* tapRows[kMaxPairTaps];
    for (int t = 0; t < taps; ++t)
        tapRows[t] = static_cast<const PairPixel*>(job.rows[plan.pairTaps[t].row]) + plan.pairTaps[t].offset;

    for (int x = 0; x < job.width; x += chunk) {
        if (job.upcoming) Prefetch<chunk>(job.upcoming + x);
        const unsigned bits = ChunkBits<chunk>(job.selected, x);
        if (!bits) continue;
        VI a0 = Isa::Zero(), a1 = Isa::Zero(), a2 = Isa::Zero(), a3 = Isa::Zero();
        for (int t = 0; t < taps; ++t) {
            const VI w = Isa::LoadPattern(plan.pairTaps[t].pattern);
            const PairPixel* p = tapRows[t] + x;
            a0 = Isa::Madd(a0, Isa::LoadPairs(p), w);
            a1 = Isa::Madd(a1, Isa::LoadPairs(p + px), w);
            a2 = Isa::Madd(a2, Isa::LoadPairs(p + 2 * px), w);
            a3 = Isa::Madd(a3, Isa::LoadPairs(p + 3 * px), w);
        }
        StoreChunk<Isa>(job, x, bits, finish(a0), finish(a1), finish(a2), finish(a3));
    }
    Isa::Fence();
}

// Separable paths, first pass: one prepared row through the horizontal factor, plus its
// correction, gives the exact unbiased horizontal sums of that row, kept in 32-bit lanes (Out is
// SumPixel) or as doubles (WidePixel) for a vertical pass in doubles.
template <class Isa, class Out>
static void HorizontalT(const ConvolvePlan& plan, Out* out, const PairPixel* pairs, int paddedWidth)
{
    using VI = typename Isa::VI;
    constexpr int px = Isa::kPx;
    constexpr int chunk = 4 * px;
    const VI correction = Isa::Set1(plan.rowCorrection);
    const int taps = plan.pairTapCount;
    for (int x = 0; x < paddedWidth; x += chunk) {
        VI a[4] = {correction, correction, correction, correction};
        for (int t = 0; t < taps; ++t) {
            const VI w = Isa::LoadPattern(plan.pairTaps[t].pattern);
            const PairPixel* p = pairs + x + plan.pairTaps[t].offset;
            a[0] = Isa::Madd(a[0], Isa::LoadPairs(p), w);
            a[1] = Isa::Madd(a[1], Isa::LoadPairs(p + px), w);
            a[2] = Isa::Madd(a[2], Isa::LoadPairs(p + 2 * px), w);
            a[3] = Isa::Madd(a[3], Isa::LoadPairs(p + 3 * px), w);
        }
        for (int g = 0; g < 4; ++g) {
            if constexpr (sizeof(Out) == sizeof(SumPixel))
                Isa::StoreSums(out + x + g * px, a[g]);
            else
                Isa::StoreSumsWide(out + x + g * px, a[g]);
        }
    }
}

// Separable path, second pass: the horizontal sums of the window's rows through the vertical factor.
template <class Isa, DivideKind kind>
static void SeparableRowT(const ConvolvePlan& plan, const RowJob& job)
{
    using VI = typename Isa::VI;
    constexpr int px = Isa::kPx;
    constexpr int chunk = 4 * px;
    const Finisher<Isa, kind> finish(plan);
    const int taps = plan.verticalTapCount;
    const SumPixel* tapRows[kMaxKernelSize];
    for (int t = 0; t < taps; ++t) tapRows[t] = static_cast<const SumPixel*>(job.rows[plan.verticalTaps[t].row]);

    for (int x = 0; x < job.width; x += chunk) {
        if (job.upcoming) Prefetch<chunk>(job.upcoming + x);
        const unsigned bits = ChunkBits<chunk>(job.selected, x);
        if (!bits) continue;
        VI a0 = Isa::Zero(), a1 = Isa::Zero(), a2 = Isa::Zero(), a3 = Isa::Zero();
        for (int t = 0; t < taps; ++t) {
            const VI w = Isa::Set1(plan.verticalTaps[t].weight);
            const SumPixel* p = tapRows[t] + x;
            a0 = Isa::Add(a0, Isa::MulLo(Isa::LoadSums(p), w));
            a1 = Isa::Add(a1, Isa::MulLo(Isa::LoadSums(p + px), w));
            a2 = Isa::Add(a2, Isa::MulLo(Isa::LoadSums(p + 2 * px), w));
            a3 = Isa::Add(a3, Isa::MulLo(Isa::LoadSums(p + 3 * px), w));
        }
        StoreChunk<Isa>(job, x, bits, finish(a0), finish(a1), finish(a2), finish(a3));
    }
    Isa::Fence();
}

// The wide tier: exact integer sums in doubles, then the same divide, offset, clamp and invert.
template <class Isa>
static void WideRowT(const ConvolvePlan& plan, const RowJob& job)
{
    using VD = typename Isa::VD;
    using VI = typename Isa::VI;
    constexpr int perInt = Isa::kWidePerInt;
    constexpr int wpx = Isa::kWidePx;
    constexpr int chunk = 2 * Isa::kPx;
    constexpr int accs = 2 * perInt;
    const int taps = plan.wideTapCount;
    const WidePixel* tapRows[kMaxWideTaps];
    for (int t = 0; t < taps; ++t)
        tapRows[t] = static_cast<const WidePixel*>(job.rows[plan.wideTaps[t].row]) + plan.wideTaps[t].offset;
    const VD divisor = Isa::SetW(plan.divisor);
    const VD offset = Isa::SetW(plan.wideOffset);
    // Beyond +-2^50 the offset (|offset| < 2^31) cannot bring a quotient back into 0 .. 65535.
    const VD limitLow = Isa::SetW(-1125899906842624.0), limitHigh = Isa::SetW(1125899906842624.0);
    const VD zero = Isa::ZeroW(), top = Isa::SetW(65535.0);
    const VI invert = Isa::Set1(plan.invertMask);

    for (int x = 0; x < job.width; x += chunk) {
        if (job.upcoming) Prefetch<chunk>(job.upcoming + x);
        const unsigned bits = ChunkBits<chunk>(job.selected, x);
        if (!bits) continue;
        VD acc[accs];
        for (int i = 0; i < accs; ++i) acc[i] = Isa::ZeroW();
        for (int t = 0; t < taps; ++t) {
            const VD w = Isa::SetW(plan.wideTaps[t].weight);
            const WidePixel* p = tapRows[t] + x;
            for (int i = 0; i < accs; ++i) acc[i] = Isa::FmaW(acc[i], Isa::LoadW(p + i * wpx), w);
        }
        for (int i = 0; i < accs; ++i) {
            VD q = plan.wideDivide ? Isa::DivW(acc[i], divisor) : acc[i];
            q = Isa::TruncW(Isa::MinW(Isa::MaxW(q, limitLow), limitHigh));
            acc[i] = Isa::MinW(Isa::MaxW(Isa::AddW(q, offset), zero), top);
        }
        const VI v0 = Isa::Xor(Isa::ToInt(acc), invert);
        const VI v1 = Isa::Xor(Isa::ToInt(acc + perInt), invert);
        const int count = job.width - x;
        Isa::StorePixels2(job.work + x, job.source + x, v0, v1, bits, count < chunk ? count : chunk, job.stream);
    }
    Isa::Fence();
}

template <class Isa>
static void DenseRow(const ConvolvePlan& plan, const RowJob& job)
{
    switch (plan.divide) {
    case DivideKind::None: DenseRowT<Isa, DivideKind::None>(plan, job); break;
    case DivideKind::Negate: DenseRowT<Isa, DivideKind::Negate>(plan, job); break;
    case DivideKind::Shift: DenseRowT<Isa, DivideKind::Shift>(plan, job); break;
    case DivideKind::NegShift: DenseRowT<Isa, DivideKind::NegShift>(plan, job); break;
    case DivideKind::Float: DenseRowT<Isa, DivideKind::Float>(plan, job); break;
    case DivideKind::Double: DenseRowT<Isa, DivideKind::Double>(plan, job); break;
    }
}

template <class Isa>
static void SeparableRow(const ConvolvePlan& plan, const RowJob& job)
{
    switch (plan.divide) {
    case DivideKind::None: SeparableRowT<Isa, DivideKind::None>(plan, job); break;
    case DivideKind::Negate: SeparableRowT<Isa, DivideKind::Negate>(plan, job); break;
    case DivideKind::Shift: SeparableRowT<Isa, DivideKind::Shift>(plan, job); break;
    case DivideKind::NegShift: SeparableRowT<Isa, DivideKind::NegShift>(plan, job); break;
    case DivideKind::Float: SeparableRowT<Isa, DivideKind::Float>(plan, job); break;
    case DivideKind::Double: SeparableRowT<Isa, DivideKind::Double>(plan, job); break;
    }
}

template <class Isa>
static ConvolveKernels MakeKernels()
{
    return {&Isa::PreparePairs,         &PrepareWideT<Isa>, &HorizontalT<Isa, SumPixel>, &HorizontalT<Isa, WidePixel>,
            &DenseRow<Isa>, &SeparableRow<Isa>, &WideRowT<Isa>};
}

}  // namespace kcf_simd
