// The fast engine's AVX-512 row kernels with 16-bit multiply-adds and 32-bit adds.
// Built with -mavx512f -mavx512bw -mavx512vl -mfma.
#include "ConvolveAvx512Isa.h"

const ConvolveKernels& Avx512Kernels()
{
    static const ConvolveKernels kernels = kcf_simd::MakeKernels<Avx512<false>>();
    return kernels;
}
