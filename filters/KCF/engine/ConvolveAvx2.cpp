// The fast engine's AVX2 row kernels: two pixels a 256-bit vector. Built with -mavx2 -mfma.
#include "ConvolveSimd.h"

#include <immintrin.h>

namespace {

struct Avx2 {
    using VI = __m256i;
    using VF = __m256;
    using VDB = __m256d;
    using VD = __m256d;
    static constexpr int kPx = 2;
    static constexpr int kWidePx = 1;
    static constexpr int kWidePerInt = 2;

    static void Fence() { _mm_sfence(); }
    static VI Zero() { return _mm256_setzero_si256(); }
    static VI Set1(int32_t v) { return _mm256_set1_epi32(v); }
    static VI LoadPattern(const int16_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static VI LoadPairs(const PairPixel* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static VI LoadSums(const SumPixel* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void StoreSums(SumPixel* p, VI v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static void StoreSumsWide(WidePixel* p, VI v)
    {
        _mm256_storeu_pd(p[0].v, _mm256_cvtepi32_pd(_mm256_castsi256_si128(v)));
        _mm256_storeu_pd(p[1].v, _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1)));
    }
    static VI Madd(VI acc, VI a, VI w) { return _mm256_add_epi32(acc, _mm256_madd_epi16(a, w)); }
    static VI Add(VI a, VI b) { return _mm256_add_epi32(a, b); }
    static VI Sub(VI a, VI b) { return _mm256_sub_epi32(a, b); }
    static VI Xor(VI a, VI b) { return _mm256_xor_si256(a, b); }
    static VI Max(VI a, VI b) { return _mm256_max_epi32(a, b); }
    static VI Min(VI a, VI b) { return _mm256_min_epi32(a, b); }
    static VI MulLo(VI a, VI b) { return _mm256_mullo_epi32(a, b); }
    static VI Srai(VI a, int n) { return _mm256_sra_epi32(a, _mm_cvtsi32_si128(n)); }
    static VI Srli(VI a, int n) { return _mm256_srl_epi32(a, _mm_cvtsi32_si128(n)); }
    static VF SetF(float v) { return _mm256_set1_ps(v); }
    static VI DivFloat(VI s, VF d) { return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(s), d)); }
    static VDB SetD(double v) { return _mm256_set1_pd(v); }
    static VI DivDouble(VI s, VDB d)
    {
        const __m128i low = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(s)), d));
        const __m128i high = _mm256_cvttpd_epi32(_mm256_div_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(s, 1)), d));
        return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    }

    static VD ZeroW() { return _mm256_setzero_pd(); }
    static VD SetW(double v) { return _mm256_set1_pd(v); }
    static VD LoadW(const WidePixel* p) { return _mm256_loadu_pd(p->v); }
    static VD FmaW(VD acc, VD a, VD w) { return _mm256_fmadd_pd(a, w, acc); }
    static VD AddW(VD a, VD b) { return _mm256_add_pd(a, b); }
    static VD DivW(VD a, VD b) { return _mm256_div_pd(a, b); }
    static VD MinW(VD a, VD b) { return _mm256_min_pd(a, b); }
    static VD MaxW(VD a, VD b) { return _mm256_max_pd(a, b); }
    static VD TruncW(VD v) { return _mm256_round_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    static VI ToInt(const VD* v)
    {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm256_cvttpd_epi32(v[0])), _mm256_cvttpd_epi32(v[1]), 1);
    }

    static void PreparePairs(PairPixel* out, const BMM_Color_64* row, int width, int paddedWidth)
    {
        const VI flip = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
        int x = -kRowPad;
        for (; x < 0; ++x) kcf_simd::PairAt(out[x], row, width, x);
        // Four pairs from pixels x .. x + 4; unpacking works within 128-bit lanes, so the lanes
        // come out as pairs x, x + 2 (low) and x + 1, x + 3 (high).
        for (; x + 5 <= width; x += 4) {
            const VI a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x));
            const VI b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + x + 1));
            const VI low = _mm256_xor_si256(_mm256_unpacklo_epi16(a, b), flip);
            const VI high = _mm256_xor_si256(_mm256_unpackhi_epi16(a, b), flip);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute2x128_si256(low, high, 0x20));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 2), _mm256_permute2x128_si256(low, high, 0x31));
        }
        for (; x < paddedWidth + kRowPad; ++x) kcf_simd::PairAt(out[x], row, width, x);
    }

    static VI PixelMask(unsigned bits)
    {
        const VI lanes = _mm256_set_epi64x(8, 4, 2, 1);
        return _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_set1_epi64x(bits), lanes), lanes);
    }

    static void StorePixels2(BMM_Color_64* dst, const BMM_Color_64* src, VI a, VI b, unsigned bits, int count, bool stream)
    {
        // Packing works within lanes: pixels come out 0, 2, 1, 3 and are put in order.
        const VI packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), _MM_SHUFFLE(3, 1, 2, 0));
        const auto* in = reinterpret_cast<const long long*>(src);
        const VI source = count >= 4 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src))
                                     : _mm256_maskload_epi64(in, PixelMask((1u << count) - 1));
        const VI result = _mm256_blend_epi16(packed, source, 0x88);
        if (bits == 15 && stream && (reinterpret_cast<uintptr_t>(dst) & 31) == 0)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(dst), result);
        else if (bits == 15)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), result);
        else
            _mm256_maskstore_epi64(reinterpret_cast<long long*>(dst), PixelMask(bits), result);
    }
};

}  // namespace

const ConvolveKernels& Avx2Kernels()
{
    static const ConvolveKernels kernels = kcf_simd::MakeKernels<Avx2>();
    return kernels;
}
