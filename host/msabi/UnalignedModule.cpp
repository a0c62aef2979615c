// A filter module whose Render assumes a 16-byte-aligned stack on entry: the conformance host must catch it.
//
// Everything else is the real filter. This file alone is compiled with -mincoming-stack-boundary=4
// -mno-stackrealign and SSE2, so that the compiler lays Render's frame out for a 16-byte-aligned
// stack on entry and does not realign it; Render then stores to its 16-byte-aligned local with
// movaps, and faults whenever its caller leaves the stack at 4, 8 or 12 modulo 16, as the host
// (which keeps only 4-byte alignment) may. The store is written out because mingw-w64's g++ emits
// only unaligned moves to the stack, whatever alignment it assumes.
#include "KernelFilter.h"
#include "Module.h"

#include <emmintrin.h>

#include <new>

namespace {

class UnalignedFilter : public KernelFilter {
public:
    BOOL Render(HWND hWnd) override
    {
        __m128 lanes;  // at a 16-byte boundary of the frame, if the stack was aligned on entry
        const __m128 value = _mm_set1_ps(static_cast<float>(reinterpret_cast<UINT_PTR>(hWnd) & 0xFF));
        asm volatile("movaps %1, %0" : "=m"(lanes) : "x"(value));
        asm volatile("" : : "m"(lanes));
        return KernelFilter::Render(hWnd);
    }
};

class UnalignedDesc : public ClassDesc {
public:
    int IsPublic() override { return 1; }
    void* Create(BOOL) override { return static_cast<ImageFilter*>(new (std::nothrow) UnalignedFilter); }
    const TCHAR* ClassName() override { return kFilterInfo.displayName; }
    SClass_ID SuperClassID() override { return FLT_CLASS_ID; }
    Class_ID ClassID() override { return kKernelFilterClassId; }
    const TCHAR* Category() override { return "Image Filter"; }
};

UnalignedDesc unalignedDesc;

}  // namespace

PLUGIN_EXPORT const TCHAR* LibDescription() { return "unaligned-stack test module"; }
PLUGIN_EXPORT int LibNumberClasses() { return 1; }
PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? &unalignedDesc : nullptr; }
PLUGIN_EXPORT ULONG LibVersion() { return VERSION_3DSMAX; }
