// The module's four library exports and its one class descriptor.
#include "KernelFilter.h"
#include "Module.h"

#include <new>

namespace {

class KernelFilterDesc : public ClassDesc {
public:
    int IsPublic() override { return 1; }
    void* Create(BOOL /*loading*/) override
    {
        try {
            ImageFilter* filter = new (std::nothrow) KernelFilter;
            return filter;
        } catch (...) {
            return nullptr;
        }
    }
    const TCHAR* ClassName() override { return kFilterInfo.displayName; }
    SClass_ID SuperClassID() override { return FLT_CLASS_ID; }
    Class_ID ClassID() override { return kKernelFilterClassId; }
    const TCHAR* Category() override { return "Image Filter"; }
};

KernelFilterDesc gKernelFilterDesc;

ClassDesc* GetKernelFilterDesc() { return &gKernelFilterDesc; }

}  // namespace

const LibraryInfo kLibraryInfo = {
    "Kernelcraft Filter: user-defined convolution kernels for Video Post",
    VERSION_3DSMAX,
    1,
    {GetKernelFilterDesc},
};

PLUGIN_EXPORT const TCHAR* LibDescription() { return kLibraryInfo.description; }

PLUGIN_EXPORT int LibNumberClasses() { return kLibraryInfo.classCount; }

PLUGIN_EXPORT ClassDesc* LibClassDesc(int i)
{
    if (i < 0 || i >= kLibraryInfo.classCount) return nullptr;
    return kLibraryInfo.classList[i]();
}

PLUGIN_EXPORT ULONG LibVersion() { return kLibraryInfo.version; }
