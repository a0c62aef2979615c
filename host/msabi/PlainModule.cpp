// A filter module that gives all the right answers in g++'s own table layout: the conformance host must catch it.
#include "ImageFilter.h"
#include "Plugin.h"

#if KCF_MSABI
#error "the plain module is built without the host's table layout (KCF_PLAIN_CXX_LAYOUT)"
#endif

namespace {

class PlainFilter : public ImageFilter {
public:
    const TCHAR* Description() override { return "Kernelcraft Filter"; }
    const TCHAR* AuthorName() override { return "Plain Layout"; }
    const TCHAR* CopyrightMessage() override { return "none"; }
    UINT Version() override { return 866276665; }
    DWORD Capability() override { return 6; }
    void ShowAbout(HWND) override {}
    BOOL Render(HWND) override { return srcmap ? TRUE : FALSE; }
    DWORD EvaluateConfigure() override { return 612; }
};

class PlainDesc : public ClassDesc {
public:
    int IsPublic() override { return 1; }
    void* Create(BOOL) override { return static_cast<ImageFilter*>(new PlainFilter); }
    const TCHAR* ClassName() override { return "Kernelcraft Filter"; }
    SClass_ID SuperClassID() override { return FLT_CLASS_ID; }
    Class_ID ClassID() override { return Class_ID(0x33A25539, 0x39933116); }
    const TCHAR* Category() override { return "Image Filter"; }
};

PlainDesc plainDesc;

}  // namespace

PLUGIN_EXPORT const TCHAR* LibDescription() { return "plain-layout test module"; }
PLUGIN_EXPORT int LibNumberClasses() { return 1; }
PLUGIN_EXPORT ClassDesc* LibClassDesc(int i) { return i == 0 ? &plainDesc : nullptr; }
PLUGIN_EXPORT ULONG LibVersion() { return VERSION_3DSMAX; }
