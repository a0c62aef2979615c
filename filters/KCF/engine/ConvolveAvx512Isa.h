// The AVX-512 primitives of the fast engine, four pixels a 512-bit vector; the two AVX-512 files
// build them with and without the 16-bit multiply-add-accumulate instruction (VNNI).
#pragma once

#include "ConvolveSimd.h"

#include <immintrin.h>

namespace {

template <bool kVnni>
struct Avx512 {
    using VI = __m512i;
    using VF = __m512;
    using VDB = __m512d;
    using VD = __m512d;
    static constexpr int kPx = 4;
    static constexpr int kWidePx = 2;
    static constexpr int kWidePerInt = 2;

    static void Fence() { _mm_sfence(); }
    static VI Zero() { return _mm512_setzero_si512(); }
    static VI Set1(int32_t v) { return _mm512_set1_epi32(v); }
    static VI LoadPattern(const int16_t* p) { return _mm512_loadu_si512(p); }
    static VI LoadPairs(const PairPixel* p) { return _mm512_loadu_si512(p); }
    static VI LoadSums(const SumPixel* p) { return _mm512_loadu_si512(p); }
    static void StoreSums(SumPixel* p, VI v) { _mm512_storeu_si512(p, v); }
    static void StoreSumsWide(WidePixel* p, VI v)
    {
        _mm512_storeu_pd(p[0].v, _mm512_cvtepi32_pd(_mm512_castsi512_si256(v)));
        _mm512_storeu_pd(p[2].v, _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(v, 1)));
    }
    static VI Madd(VI acc, VI a, VI w)
    {
        if constexpr (kVnni)
            return _mm512_dpwssd_epi32(acc, a, w);
        else
            return _mm512_add_epi32(acc, _mm512_madd_epi16(a, w));
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
    static VI DivFloat(VI s, VF d) { return _mm512_cvttps_epi32(_mm512_div_ps(_mm512_cvtepi32_ps(s), d)); }
    static VDB SetD(double v) { return _mm512_set1_pd(v); }
    static VI DivDouble(VI s, VDB d)
    {
        const __m256i low = _mm512_cvttpd_epi32(_mm512_div_pd(_mm512_cvtepi32_pd(_mm512_castsi512_si256(s)), d));
        const __m256i high = _mm512_cvttpd_epi32(_mm512_div_pd(_mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(s, 1)), d));
        return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
    }

    static VD ZeroW() { return _mm512_setzero_pd(); }
    static VD SetW(double v) { return _mm512_set1_pd(v); }
    static VD LoadW(const WidePixel* p) { return _mm512_loadu_pd(p->v); }
    static VD FmaW(VD acc, VD a, VD w) { return _mm512_fmadd_pd(a, w, acc); }
    static VD AddW(VD a, VD b) { return _mm512_add_pd(a, b); }
    static VD DivW(VD a, VD b) { return _mm512_div_pd(a, b); }
    static VD MinW(VD a, VD b) { return _mm512_min_pd(a, b); }
    static VD MaxW(VD a, VD b) { return _mm512_max_pd(a, b); }
    static VD TruncW(VD v) { return _mm512_roundscale_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    static VI ToInt(const VD* v)
    {
        return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvttpd_epi32(v[0])), _mm512_cvttpd_epi32(v[1]), 1);
    }

    static void PreparePairs(PairPixel* out, const BMM_Color_64* row, int width, int paddedWidth)
    {
        const VI flip = _mm512_set1_epi16(static_cast<short>(0x8000));
        // Unpacking works within 128-bit lanes: low holds pairs x, x+2, x+4, x+6 and high the odd ones.
        const VI firstHalf = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0);
        const VI secondHalf = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
        int x = -kRowPad;
        for (; x < 0; ++x) kcf_simd::PairAt(out[x], row, width, x);
        // Eight pairs from pixels x .. x + 8.
        for (; x + 9 <= width; x += 8) {
            const VI a = _mm512_loadu_si512(row + x);
            const VI b = _mm512_loadu_si512(row + x + 1);
            const VI low = _mm512_xor_si512(_mm512_unpacklo_epi16(a, b), flip);
            const VI high = _mm512_xor_si512(_mm512_unpackhi_epi16(a, b), flip);
            _mm512_storeu_si512(out + x, _mm512_permutex2var_epi64(low, firstHalf, high));
            _mm512_storeu_si512(out + x + 4, _mm512_permutex2var_epi64(low, secondHalf, high));
        }
        for (; x < paddedWidth + kRowPad; ++x) kcf_simd::PairAt(out[x], row, width, x);
    }

    static void StorePixels2(BMM_Color_64* dst, const BMM_Color_64* src, VI a, VI b, unsigned bits, int count, bool stream)
    {
        // Lanes hold 0 .. 65535, so truncating each to 16 bits packs it exactly.
        const VI packed = _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtepi32_epi16(a)), _mm512_cvtepi32_epi16(b), 1);
        const VI source = count >= 8 ? _mm512_loadu_si512(src)
                                     : _mm512_maskz_loadu_epi64(static_cast<__mmask8>((1u << count) - 1), src);
        const VI result = _mm512_mask_blend_epi16(static_cast<__mmask32>(0x88888888u), packed, source);
        if (bits == 255 && stream && (reinterpret_cast<uintptr_t>(dst) & 63) == 0)
            _mm512_stream_si512(reinterpret_cast<__m512i*>(dst), result);
        else if (bits == 255)
            _mm512_storeu_si512(dst, result);
        else
            _mm512_mask_storeu_epi64(dst, static_cast<__mmask8>(bits), result);
    }
};

}  // namespace
