// The fast engine's AVX2 row kernels: eight lanes a 256-bit vector. Built with -mavx2 -mfma.
#include "ConvolveSimd.h"

#include <immintrin.h>

namespace {

struct Avx2 {
    using VI = __m256i;
    using VF = __m256;
    using VDB = __m256d;
    using VD = __m256d;
    static constexpr int kLanes = 8;
    // A multiply-add here needs a scratch register besides its accumulator.
    static constexpr int kGroups = sizeof(void*) == 8 ? 2 : 1;
    static constexpr int kWideChannels = 3;  // the fused multiply-add accumulates in place
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
    static VI Zero() { return _mm256_setzero_si256(); }
    static VI Set1(int32_t v) { return _mm256_set1_epi32(v); }
    static VI Load(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    static void Store(int32_t* p, VI v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }
    static VI Madd(VI acc, VI a, VI w) { return _mm256_add_epi32(acc, _mm256_madd_epi16(a, w)); }
    static VI MaddFrom(VI acc, VI a, const int32_t* w) { return Madd(acc, a, Set1(*w)); }
    static VI Add(VI a, VI b) { return _mm256_add_epi32(a, b); }
    static VI Sub(VI a, VI b) { return _mm256_sub_epi32(a, b); }
    static VI Xor(VI a, VI b) { return _mm256_xor_si256(a, b); }
    static VI Max(VI a, VI b) { return _mm256_max_epi32(a, b); }
    static VI Min(VI a, VI b) { return _mm256_min_epi32(a, b); }
    static VI MulLo(VI a, VI b) { return _mm256_mullo_epi32(a, b); }
    static VI Srai(VI a, int n) { return _mm256_sra_epi32(a, _mm_cvtsi32_si128(n)); }
    static VI Srli(VI a, int n) { return _mm256_srl_epi32(a, _mm_cvtsi32_si128(n)); }
    static VF SetF(float v) { return _mm256_set1_ps(v); }
    static VI MulFloat(VI s, VF r) { return _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(s), r)); }
    static VDB SetD(double v) { return _mm256_set1_pd(v); }
    static VI MulDouble(VI s, VDB r)
    {
        const __m128i low = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(s)), r));
        const __m128i high = _mm256_cvttpd_epi32(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(s, 1)), r));
        return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    }

    static VD ZeroW() { return _mm256_setzero_pd(); }
    static VD SetW(double v) { return _mm256_set1_pd(v); }
    static VD LoadW(const double* p) { return _mm256_loadu_pd(p); }
    static VD FmaW(VD acc, VD a, VD w) { return _mm256_fmadd_pd(a, w, acc); }
    static VD AddW(VD a, VD b) { return _mm256_add_pd(a, b); }
    static VD MulW(VD a, VD b) { return _mm256_mul_pd(a, b); }
    static VD DivW(VD a, VD b) { return _mm256_div_pd(a, b); }
    static VD MinW(VD a, VD b) { return _mm256_min_pd(a, b); }
    static VD MaxW(VD a, VD b) { return _mm256_max_pd(a, b); }
    static VD TruncW(VD v) { return _mm256_round_pd(v, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC); }
    static VI ToInt(VD low, VD high)
    {
        return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm256_cvttpd_epi32(low)), _mm256_cvttpd_epi32(high), 1);
    }
    static void ToWide(VI v, VD& low, VD& high)
    {
        low = _mm256_cvtepi32_pd(_mm256_castsi256_si128(v));
        high = _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1));
    }
    static void StoreW(double* p, VD v) { _mm256_storeu_pd(p, v); }

    static void PreparePairs(int32_t* out, size_t stride, const BMM_Color_64* row, int width, int paddedWidth)
    {
        const VI flip = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
        int x = -kRowPad;
        for (; x < 0; ++x) kcf_simd::PairsAt(out, stride, row, width, x);
        // Pixels x .. x + 8 give eight pairs of each channel. Unpacking works within 128-bit lanes:
        // pairs come out for pixels (x, x + 2 | x + 1, x + 3), then transposed and put in order.
        for (; x + 9 <= width; x += 8) {
            VI rg[2], ba[2];
            for (int h = 0; h < 2; ++h) {
                const BMM_Color_64* p = row + x + 4 * h;
                const VI a = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), flip);
                const VI b = _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)), flip);
                const VI even = _mm256_unpacklo_epi16(a, b);  // pixels x, x + 2: rr gg bb aa
                const VI odd = _mm256_unpackhi_epi16(a, b);   // pixels x + 1, x + 3
                rg[h] = _mm256_unpacklo_epi32(even, odd);     // r0 r1 g0 g1 | r2 r3 g2 g3
                ba[h] = _mm256_unpackhi_epi32(even, odd);     // b0 b1 a0 a1 | b2 b3 a2 a3
            }
            const int order = _MM_SHUFFLE(3, 1, 2, 0);
            const VI r = _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(rg[0], rg[1]), order);
            const VI g = _mm256_permute4x64_epi64(_mm256_unpackhi_epi64(rg[0], rg[1]), order);
            const VI b = _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(ba[0], ba[1]), order);
            Store(out + x, r);
            Store(out + x + stride, g);
            Store(out + x + 2 * stride, b);
        }
        for (; x < paddedWidth + kRowPad; ++x) kcf_simd::PairsAt(out, stride, row, width, x);
    }

    static uint64_t Equal8(const uint8_t* ids, uint8_t value)
    {
        const VI v = _mm256_set1_epi8(static_cast<char>(value));
        const VI low = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ids)), v);
        const VI high = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ids + 32)), v);
        return uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(low))) |
               uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(high))) << 32;
    }
    static uint64_t Equal16(const uint16_t* ids, uint16_t value)
    {
        const VI v = _mm256_set1_epi16(static_cast<short>(value));
        uint64_t bits = 0;
        for (int i = 0; i < 2; ++i) {
            const VI a = _mm256_cmpeq_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ids + 32 * i)), v);
            const VI b = _mm256_cmpeq_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ids + 32 * i + 16)), v);
            // Packing works within lanes: ids 0-7, 16-23 | 8-15, 24-31; put them back in order.
            const VI packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), _MM_SHUFFLE(3, 1, 2, 0));
            bits |= uint64_t(static_cast<uint32_t>(_mm256_movemask_epi8(packed))) << (32 * i);
        }
        return bits;
    }

    static VI PixelMask(unsigned bits)
    {
        const VI lanes = _mm256_set_epi64x(8, 4, 2, 1);
        return _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_set1_epi64x(bits), lanes), lanes);
    }

    // Four pixels: alpha from the source, stored where selected.
    static void StoreFour(BMM_Color_64* dst, const BMM_Color_64* src, VI pixels, unsigned bits, int count, bool stream)
    {
        const VI source = count >= 4 ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src))
                                     : _mm256_maskload_epi64(reinterpret_cast<const long long*>(src),
                                                             PixelMask((1u << count) - 1));
        const VI result = _mm256_blend_epi16(pixels, source, 0x88);
        if (bits == 15 && stream && (reinterpret_cast<uintptr_t>(dst) & 31) == 0)
            _mm256_stream_si256(reinterpret_cast<__m256i*>(dst), result);
        else if (bits == 15)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst), result);
        else if (bits)
            _mm256_maskstore_epi64(reinterpret_cast<long long*>(dst), PixelMask(bits), result);
    }

    static void StorePixels(BMM_Color_64* dst, const BMM_Color_64* src, VI r, VI g, VI b, VI invert, unsigned bits,
                            int count, bool stream)
    {
        // Packing saturates each lane to 0 .. 65535; packing and unpacking work within 128-bit
        // lanes, which hold pixels 0-3 and 4-7.
        const VI rg = Xor(_mm256_packus_epi32(r, g), invert);          // r0-3 g0-3 | r4-7 g4-7
        const VI b0 = Xor(_mm256_packus_epi32(b, Zero()), invert);     // b0-3 0    | b4-7 0
        const VI rb = _mm256_unpacklo_epi16(rg, b0);                   // r0 b0 r1 b1 ...
        const VI g0 = _mm256_unpackhi_epi16(rg, b0);                   // g0 0 g1 0 ...
        const VI low = _mm256_unpacklo_epi16(rb, g0);                  // pixels 0 1 | 4 5
        const VI high = _mm256_unpackhi_epi16(rb, g0);                 // pixels 2 3 | 6 7
        StoreFour(dst, src, _mm256_permute2x128_si256(low, high, 0x20), bits & 15, count, stream);
        if (count > 4)
            StoreFour(dst + 4, src + 4, _mm256_permute2x128_si256(low, high, 0x31), bits >> 4, count - 4, stream);
    }
};

}  // namespace

const ConvolveKernels& Avx2Kernels()
{
    static const ConvolveKernels kernels = kcf_simd::MakeKernels<Avx2>();
    return kernels;
}
