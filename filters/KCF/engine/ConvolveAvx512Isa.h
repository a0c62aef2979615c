// The AVX-512 primitives of the fast engine, sixteen lanes a 512-bit vector; the two AVX-512 files
// build them with and without the 16-bit multiply-add-accumulate instruction (VNNI).
#pragma once

#include "ConvolveSimd.h"

#include <immintrin.h>

namespace {

// Word indices for the two-table word permutes below.
struct alignas(64) WordIndex {
    uint16_t v[32];
};

// From a table of pixels x .. x + 15: channel c of pixel x + i in word 2i, and of pixel x + i + 1
// in word 2i + 1. The last word (pixel x + 16) lies beyond the table and is filled apart.
constexpr WordIndex ChannelPairs(int c)
{
    WordIndex index{};
    for (int i = 0; i < 16; ++i) {
        index.v[2 * i] = static_cast<uint16_t>(4 * i + c);
        index.v[2 * i + 1] = static_cast<uint16_t>(i < 15 ? 4 * i + 4 + c : 0);
    }
    return index;
}

// Pixels first .. first + 7 as r g b b words from the packed tables rg (128-bit lane l: r of
// pixels 4l .. 4l + 3, then g of them) and bb (lane l: b of those pixels, twice).
constexpr WordIndex PixelWords(int first)
{
    WordIndex index{};
    for (int i = 0; i < 8; ++i) {
        const int pixel = first + i, lane = 8 * (pixel / 4) + pixel % 4;
        index.v[4 * i] = static_cast<uint16_t>(lane);
        index.v[4 * i + 1] = static_cast<uint16_t>(lane + 4);
        index.v[4 * i + 2] = static_cast<uint16_t>(32 + lane);
        index.v[4 * i + 3] = static_cast<uint16_t>(32 + lane);
    }
    return index;
}

constexpr WordIndex kChannelPairs[3] = {ChannelPairs(0), ChannelPairs(1), ChannelPairs(2)};
constexpr WordIndex kPixelWords[2] = {PixelWords(0), PixelWords(8)};

template <bool kVnni>
struct Avx512 {
    using VI = __m512i;
    using VF = __m512;
    using VDB = __m512d;
    using VD = __m512d;
    static constexpr int kLanes = 16;
    // The fused multiply-add accumulates in place; the separate one needs a scratch register.
    static constexpr int kGroups = kVnni || sizeof(void*) == 8 ? 2 : 1;
    static constexpr int kWideChannels = 3;  // the fused multiply-add accumulates in place
    // Three rows of two groups: eighteen accumulators of the 32 registers. The 32-bit build has
    // eight: six rows of one group and one channel a pass with the fused multiply-add, else one row.
    static constexpr int kSharedRows = sizeof(void*) == 8 ? 3 : kVnni ? 6 : 1;
    static constexpr int kSharedGroups = sizeof(void*) == 8 ? 2 : 1;
    static constexpr int kSharedChannels = sizeof(void*) == 8 ? 3 : 1;
    static constexpr bool kStoreFull = true;  // StoreFull: whole chunks without a test per group
    // MulHigh is cheaper than the round trip through doubles where registers allow; with eight,
    // its extra temporaries spill and the doubles measure faster.
    static constexpr bool kMultiplyHigh = sizeof(void*) == 8;
    // Eight registers in a 32-bit build: the finish's constants as broadcast operands.
    static constexpr bool kConstantsInMemory = sizeof(void*) == 4;
    // The shared-load kernel's eighteen accumulators leave registers for a row's weight patterns.
    static constexpr bool kWeightRegisters = sizeof(void*) == 8;

    static void Fence() { _mm_sfence(); }
    static void Pin(VI& v) { asm("" : "+v"(v)); }
    static VI Zero() { return _mm512_setzero_si512(); }
    static VI Set1(int32_t v) { return _mm512_set1_epi32(v); }
    static VI Load(const int32_t* p) { return _mm512_loadu_si512(p); }
    static void Store(int32_t* p, VI v) { _mm512_storeu_si512(p, v); }
    static VI Madd(VI acc, VI a, VI w)
    {
        if constexpr (kVnni)
            return _mm512_dpwssd_epi32(acc, a, w);
        else
            return _mm512_add_epi32(acc, _mm512_madd_epi16(a, w));
    }
    // Madd with the weight pattern read from memory: VNNI takes it as a broadcast operand, so it
    // needs no register of its own (which the 32-bit build's eight cannot spare).
    static VI MaddFrom(VI acc, VI a, const int32_t* w)
    {
        if constexpr (kVnni) {
            asm("vpdpwssd %2%{1to16%}, %1, %0" : "+v"(acc) : "v"(a), "m"(*w));
            return acc;
        } else
            return Madd(acc, a, Set1(*w));
    }
    static VI Add(VI a, VI b) { return _mm512_add_epi32(a, b); }
    static VI Sub(VI a, VI b) { return _mm512_sub_epi32(a, b); }
    static VI Xor(VI a, VI b) { return _mm512_xor_si512(a, b); }
    static VI Max(VI a, VI b) { return _mm512_max_epi32(a, b); }
    static VI Min(VI a, VI b) { return _mm512_min_epi32(a, b); }
    static VI MulLo(VI a, VI b) { return _mm512_mullo_epi32(a, b); }
    static VI Srai(VI a, int n) { return _mm512_sra_epi32(a, _mm_cvtsi32_si128(n)); }
    static VI Srli(VI a, int n) { return _mm512_srl_epi32(a, _mm_cvtsi32_si128(n)); }
    static VF SetF(float v) { return _mm512_set1_ps(v); }
    static VI MulFloat(VI s, VF r) { return _mm512_cvttps_epi32(_mm512_mul_ps(_mm512_cvtepi32_ps(s), r)); }
    static VDB SetD(double v) { return _mm512_set1_pd(v); }
    static VI Set64(int64_t v) { return _mm512_set1_epi64(v); }
    static VI MulHigh(VI s, VI magic, VI evenShift, VI oddShift, bool negative)
    {
        // The even lanes' products are shifted down in place; the odd lanes' products are shifted
        // so that their quotient lands in the upper half of each 64-bit lane.
        const VI a = _mm512_abs_epi32(s);
        const VI even = _mm512_srlv_epi64(_mm512_mul_epu32(a, magic), evenShift);
        const VI odd = _mm512_srlv_epi64(_mm512_mul_epu32(_mm512_srli_epi64(a, 32), magic), oddShift);
        const VI q = _mm512_mask_blend_epi32(static_cast<__mmask16>(0xAAAA), even, odd);
        const __mmask16 negate =
            static_cast<__mmask16>(_mm512_cmplt_epi32_mask(s, Zero()) ^ (negative ? 0xFFFFu : 0u));
        return _mm512_mask_sub_epi32(q, negate, Zero(), q);
    }
    static VI MulDouble(VI s, VDB r)
    {
        const __m256i low = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(s)), r));
        const __m256i high = _mm512_cvttpd_epi32(_mm512_mul_pd(_mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(s, 1)), r));
        return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
    }

    static VD ZeroW() { return _mm512_setzero_pd(); }
    static VD SetW(double v) { return _mm512_set1_pd(v); }
    static VD LoadW(const double* p) { return _mm512_loadu_pd(p); }
    static VD FmaW(VD acc, VD a, VD w) { return _mm512_fmadd_pd(a, w, acc); }
    static VD AddW(VD a, VD b) { return _mm512_add_pd(a, b); }
    static VD MulW(VD a, VD b) { return _mm512_mul_pd(a, b); }
    static VD DivW(VD a, VD b) { return _mm512_div_pd(a, b); }
    static VD MinW(VD a, VD b) { return _mm512_min_pd(a, b); }
    static VD MaxW(VD a, VD b) { return _mm512_max_pd(a, b); }
    static VD TruncW(VD v) { return _mm512_roundscale_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    static VI ToInt(VD low, VD high)
    {
        return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(low)), _mm512_cvttpd_epi32(high), 1);
    }
    static void ToWide(VI v, VD& low, VD& high)
    {
        low = _mm512_cvtepi32_pd(_mm512_castsi512_si256(v));
        high = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(v, 1));
    }
    static void StoreW(double* p, VD v) { _mm512_storeu_pd(p, v); }

    static void PreparePairs(int32_t* out, size_t stride, const BMM_Color_64* row, int width, int paddedWidth)
    {
        const VI flip = _mm512_set1_epi16(static_cast<short>(0x8000));
        int x = -kRowPad;
        for (; x < 0; ++x) kcf_simd::PairsAt(out, stride, row, width, x);
        // Pixels x .. x + 16: each channel's pairs from one word permute of pixels x .. x + 15 and
        // a masked load of pixel x + 16's word.
        for (; x + 17 <= width; x += 16) {
            const VI a = _mm512_loadu_si512(row + x), b = _mm512_loadu_si512(row + x + 8);
            const uint16_t* next = &row[x + 16].r;
            for (int c = 0; c < 3; ++c) {
                const VI pairs = _mm512_permutex2var_epi16(a, _mm512_load_si512(kChannelPairs[c].v), b);
                const VI last = _mm512_mask_loadu_epi16(pairs, static_cast<__mmask32>(0x80000000u), next + c - 31);
                _mm512_storeu_si512(out + x + c * stride, _mm512_xor_si512(last, flip));
            }
        }
        for (; x < paddedWidth + kRowPad; ++x) kcf_simd::PairsAt(out, stride, row, width, x);
    }

    static uint64_t Equal8(const uint8_t* ids, uint8_t value)
    {
        return _mm512_cmpeq_epi8_mask(_mm512_loadu_si512(ids), _mm512_set1_epi8(static_cast<char>(value)));
    }
    static uint64_t Equal16(const uint16_t* ids, uint16_t value)
    {
        const VI v = _mm512_set1_epi16(static_cast<short>(value));
        // The two halves are joined in mask registers: GCC 12 for 32-bit targets widens a 32-bit
        // mask to 64 bits through memory and reads back an upper half it never wrote.
        const __mmask32 low = _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(ids), v);
        const __mmask32 high = _mm512_cmpeq_epi16_mask(_mm512_loadu_si512(ids + 32), v);
        return _cvtmask64_u64(_mm512_kunpackd(high, low));
    }

    // Eight pixels: alpha from the source, stored where selected.
    static void StoreEight(BMM_Color_64* dst, const BMM_Color_64* src, VI pixels, unsigned bits, int count, bool stream)
    {
        const VI source = count >= 8 ? _mm512_loadu_si512(src)
                                     : _mm512_maskz_loadu_epi64(static_cast<__mmask8>((1u << count) - 1), src);
        const VI result = _mm512_mask_blend_epi16(static_cast<__mmask32>(0x88888888u), pixels, source);
        if (bits == 255 && stream && (reinterpret_cast<uintptr_t>(dst) & 63) == 0)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(dst), result);
        else if (bits == 255)
            _mm512_storeu_si512(dst, result);
        else if (bits)
            _mm512_mask_storeu_epi64(dst, static_cast<__mmask8>(bits), result);
    }

    // Sixteen pixels as r g b words, each lane saturated to 0 .. 65535 and xored with invert, the
    // alpha words still to be taken from the source: pixels 0-7 in low, 8-15 in high.
    static void Interleave(VI r, VI g, VI b, VI invert, VI& low, VI& high)
    {
        // Packing works within 128-bit lanes: lane l holds pixels 4l .. 4l + 3.
        const VI rg = _mm512_packus_epi32(r, g);  // r0-3 g0-3
        const VI bb = _mm512_packus_epi32(b, b);  // b0-3 b0-3
        low = Xor(_mm512_permutex2var_epi16(rg, _mm512_load_si512(kPixelWords[0].v), bb), invert);
        high = Xor(_mm512_permutex2var_epi16(rg, _mm512_load_si512(kPixelWords[1].v), bb), invert);
    }

    // Sixteen pixels, every one selected and inside the row: no test per pixel group. stream: dst
    // starts a cache line and whole lines may bypass the cache.
    static void StoreFull(BMM_Color_64* dst, const BMM_Color_64* src, VI r, VI g, VI b, VI invert, bool stream)
    {
        VI low, high;
        Interleave(r, g, b, invert, low, high);
        const __mmask32 alpha = static_cast<__mmask32>(0x88888888u);
        low = _mm512_mask_loadu_epi16(low, alpha, src);
        high = _mm512_mask_loadu_epi16(high, alpha, src + 8);
        if (stream) {
            _mm512_stream_si512(reinterpret_cast<__m512i*>(dst), low);
            _mm512_stream_si512(reinterpret_cast<__m512i*>(dst + 8), high);
        } else {
            _mm512_storeu_si512(dst, low);
            _mm512_storeu_si512(dst + 8, high);
        }
    }

    static void StorePixels(BMM_Color_64* dst, const BMM_Color_64* src, VI r, VI g, VI b, VI invert, unsigned bits,
                            int count, bool stream)
    {
        VI low, high;
        Interleave(r, g, b, invert, low, high);
        StoreEight(dst, src, low, bits & 255, count, stream);
        if (count > 8) StoreEight(dst + 8, src + 8, high, bits >> 8, count - 8, stream);
    }
};

}  // namespace
