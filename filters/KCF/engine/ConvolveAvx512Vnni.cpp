// The fast engine's AVX-512 row kernels with the fused 16-bit multiply-add-accumulate (VNNI).
// Built with -mavx512f -mavx512bw -mavx512vl -mavx512vnni -mfma.
#include "ConvolveAvx512Isa.h"

const ConvolveKernels& Avx512VnniKernels()
{
    static const ConvolveKernels kernels = kcf_simd::MakeKernels<Avx512<true>>();
    return kernels;
}
