// The fast engine's SSE2 row kernels: the floor of every build, four lanes a 128-bit vector.
#include "ConvolveSimd.h"

#include <emmintrin.h>

namespace {

struct Sse2 {
    using VI = __m128i;
    using VF = __m128;
    using VDB = __m128d;
    using VD = __m128d;
    static constexpr int kLanes = 4;
    // A multiply-add here needs a scratch register besides its accumulator.
    static constexpr int kGroups = sizeof(void*) == 8 ? 2 : 1;
    static constexpr int kWideChannels = sizeof(void*) == 8 ? 3 : 1;  // the wide multiply-add needs a scratch register
    static constexpr int kSharedRows = sizeof(void*) == 8 ? 2 : 1;  // six accumulators of 16 registers
    static constexpr int kSharedGroups = 1;
    static constexpr int kSharedChannels = 3;
    // Unconditional whole-chunk stores, inlined beside the accumulators, would spill them here.
    static constexpr bool kStoreFull = false;
    static constexpr bool kMultiplyHigh = false;  // the ReciprocalDouble kind runs in doubles
    static constexpr bool kConstantsInMemory = false;  // no broadcast operands
    static constexpr bool kWeightRegisters = false;  // MaddFrom broadcasts into a register anyway

    static void Fence() { _mm_sfence(); }
    static void Pin(VI& v) { asm("" : "+x"(v)); }
    static VI Zero() { return _mm_setzero_si128(); }
    static VI Set1(int32_t v) { return _mm_set1_epi32(v); }
    static VI Load(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static void Store(int32_t* p, VI v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static VI Madd(VI acc, VI a, VI w) { return _mm_add_epi32(acc, _mm_madd_epi16(a, w)); }
    static VI MaddFrom(VI acc, VI a, const int32_t* w) { return Madd(acc, a, Set1(*w)); }
    static VI Add(VI a, VI b) { return _mm_add_epi32(a, b); }
    static VI Sub(VI a, VI b) { return _mm_sub_epi32(a, b); }
    static VI Xor(VI a, VI b) { return _mm_xor_si128(a, b); }
    static VI Max(VI a, VI b)
    {
        const VI greater = _mm_cmpgt_epi32(a, b);
        return _mm_or_si128(_mm_and_si128(greater, a), _mm_andnot_si128(greater, b));
    }
    static VI Min(VI a, VI b)
    {
        const VI greater = _mm_cmpgt_epi32(a, b);
        return _mm_or_si128(_mm_and_si128(greater, b), _mm_andnot_si128(greater, a));
    }
    // The low 32 bits of each product, from two unsigned 32 x 32 -> 64 multiplies.
    static VI MulLo(VI a, VI b)
    {
        const VI even = _mm_mul_epu32(a, b);
        const VI odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
    static VI Srai(VI a, int n) { return _mm_sra_epi32(a, _mm_cvtsi32_si128(n)); }
    static VI Srli(VI a, int n) { return _mm_srl_epi32(a, _mm_cvtsi32_si128(n)); }
    static VF SetF(float v) { return _mm_set1_ps(v); }
    static VI MulFloat(VI s, VF r) { return _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(s), r)); }
    static VDB SetD(double v) { return _mm_set1_pd(v); }
    static VI MulDouble(VI s, VDB r)
    {
        const VI low = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(s), r));
        const VI high = _mm_cvttpd_epi32(_mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(s, _MM_SHUFFLE(3, 2, 3, 2))), r));
        return _mm_unpacklo_epi64(low, high);
    }

    static VD ZeroW() { return _mm_setzero_pd(); }
    static VD SetW(double v) { return _mm_set1_pd(v); }
    static VD LoadW(const double* p) { return _mm_loadu_pd(p); }
    static VD FmaW(VD acc, VD a, VD w) { return _mm_add_pd(acc, _mm_mul_pd(a, w)); }
    static VD AddW(VD a, VD b) { return _mm_add_pd(a, b); }
    static VD MulW(VD a, VD b) { return _mm_mul_pd(a, b); }
    static VD DivW(VD a, VD b) { return _mm_div_pd(a, b); }
    static VD MinW(VD a, VD b) { return _mm_min_pd(a, b); }
    static VD MaxW(VD a, VD b) { return _mm_max_pd(a, b); }
    // Toward zero, for |v| <= 2^50: round the magnitude with 2^52, step back where that rounded up.
    static VD TruncW(VD v)
    {
        const __m128d sign = _mm_set1_pd(-0.0);
        const __m128d magnitude = _mm_andnot_pd(sign, v);
        const __m128d big = _mm_set1_pd(4503599627370496.0);
        __m128d rounded = _mm_sub_pd(_mm_add_pd(magnitude, big), big);
        rounded = _mm_sub_pd(rounded, _mm_and_pd(_mm_cmpgt_pd(rounded, magnitude), _mm_set1_pd(1.0)));
        return _mm_or_pd(rounded, _mm_and_pd(sign, v));
    }
    static VI ToInt(VD low, VD high) { return _mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high)); }
    static void ToWide(VI v, VD& low, VD& high)
    {
        low = _mm_cvtepi32_pd(v);
        high = _mm_cvtepi32_pd(_mm_shuffle_epi32(v, _MM_SHUFFLE(3, 2, 3, 2)));
    }
    static void StoreW(double* p, VD v) { _mm_storeu_pd(p, v); }

    static void PreparePairs(int32_t* out, size_t stride, const BMM_Color_64* row, int width, int paddedWidth)
    {
        const VI flip = _mm_set1_epi16(static_cast<int16_t>(0x8000));
        int x = -kRowPad;
        for (; x < 0; ++x) kcf_simd::PairsAt(out, stride, row, width, x);
        // Pixels x .. x + 4 give four pairs of each channel: interleave neighbours, then transpose.
        for (; x + 5 <= width; x += 4) {
            const VI a = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), flip);
            const VI b = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + 1)), flip);
            const VI c = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + 2)), flip);
            const VI d = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x + 3)), flip);
            const VI p0 = _mm_unpacklo_epi16(a, b), p1 = _mm_unpackhi_epi16(a, b);  // pixels x, x + 1: rr gg bb aa
            const VI p2 = _mm_unpacklo_epi16(c, d), p3 = _mm_unpackhi_epi16(c, d);
            const VI rg01 = _mm_unpacklo_epi32(p0, p1), ba01 = _mm_unpackhi_epi32(p0, p1);
            const VI rg23 = _mm_unpacklo_epi32(p2, p3), ba23 = _mm_unpackhi_epi32(p2, p3);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi64(rg01, rg23));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + stride), _mm_unpackhi_epi64(rg01, rg23));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 2 * stride), _mm_unpacklo_epi64(ba01, ba23));
        }
        for (; x < paddedWidth + kRowPad; ++x) kcf_simd::PairsAt(out, stride, row, width, x);
    }

    static uint64_t Equal8(const uint8_t* ids, uint8_t value)
    {
        const VI v = _mm_set1_epi8(static_cast<char>(value));
        uint64_t bits = 0;
        for (int i = 0; i < 4; ++i) {
            const VI block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ids + 16 * i));
            bits |= uint64_t(static_cast<uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, v)))) << (16 * i);
        }
        return bits;
    }
    static uint64_t Equal16(const uint16_t* ids, uint16_t value)
    {
        const VI v = _mm_set1_epi16(static_cast<short>(value));
        uint64_t bits = 0;
        for (int i = 0; i < 4; ++i) {
            const VI low = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ids + 16 * i)), v);
            const VI high = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(ids + 16 * i + 8)), v);
            bits |= uint64_t(static_cast<uint16_t>(_mm_movemask_epi8(_mm_packs_epi16(low, high)))) << (16 * i);
        }
        return bits;
    }

    // Two pixels: alpha from the source, stored where selected.
    static void StoreTwo(BMM_Color_64* dst, const BMM_Color_64* src, VI pixels, unsigned bits, int count, bool stream)
    {
        const VI alpha = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
        const VI source = count >= 2 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(src))
                                     : _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src));
        const VI result = _mm_or_si128(_mm_andnot_si128(alpha, pixels), _mm_and_si128(alpha, source));
        if (bits == 3 && stream && (reinterpret_cast<uintptr_t>(dst) & 15) == 0)
            _mm_stream_si128(reinterpret_cast<__m128i*>(dst), result);
        else if (bits == 3)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), result);
        else if (bits == 1)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), result);
        else if (bits == 2)
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + 1), _mm_srli_si128(result, 8));
    }

    static void StorePixels(BMM_Color_64* dst, const BMM_Color_64* src, VI r, VI g, VI b, VI invert, unsigned bits,
                            int count, bool stream)
    {
        // Shifted into the signed range, lanes pack with signed saturation, which is saturation to
        // 0 .. 65535 once the words are flipped back; the flip takes the invert mask with it.
        const VI lift = _mm_set1_epi32(32768);
        const VI flip = _mm_xor_si128(_mm_set1_epi16(static_cast<int16_t>(0x8000)), invert);
        const VI rg = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(r, lift), _mm_sub_epi32(g, lift)), flip);
        const VI b0 = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(b, lift), _mm_sub_epi32(Zero(), lift)), flip);
        const VI rb = _mm_unpacklo_epi16(rg, b0);  // r0 b0 r1 b1 r2 b2 r3 b3
        const VI g0 = _mm_unpackhi_epi16(rg, b0);  // g0 0 g1 0 g2 0 g3 0
        StoreTwo(dst, src, _mm_unpacklo_epi16(rb, g0), bits & 3, count, stream);
        if (count > 2) StoreTwo(dst + 2, src + 2, _mm_unpackhi_epi16(rb, g0), (bits >> 2) & 3, count - 2, stream);
    }
};

}  // namespace

const ConvolveKernels& Sse2Kernels()
{
    static const ConvolveKernels kernels = kcf_simd::MakeKernels<Sse2>();
    return kernels;
}
