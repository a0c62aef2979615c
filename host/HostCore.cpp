// vphost's core interface and the host's road from a module file to a filter object.
#include "HostCore.h"

#include <cstdio>

namespace {

class HostInterface : public Interface {
public:
    const TCHAR* GetDir(int which) override { return which == APP_PLUGCFG_DIR ? plugCfg.c_str() : ""; }
    std::string plugCfg;
};

HostInterface hostInterface;

}  // namespace

HOST_EXPORT Interface* GetCOREInterface() { return &hostInterface; }

void SetHostPlugCfgDir(const std::string& dir) { hostInterface.plugCfg = dir; }
const std::string& HostPlugCfgDir() { return hostInterface.plugCfg; }

bool LoadFilterModule(const std::string& path, FilterModule& out, std::string& error)
{
    std::string why;
    if (!out.module.Open(path, why)) {
        error = "cannot load filter module: " + why;
        return false;
    }
    out.libDescription = out.module.Find<LibDescriptionProc>("LibDescription");
    out.libNumberClasses = out.module.Find<LibNumberClassesProc>("LibNumberClasses");
    out.libClassDesc = out.module.Find<LibClassDescProc>("LibClassDesc");
    out.libVersion = out.module.Find<LibVersionProc>("LibVersion");
    if (!out.libDescription || !out.libNumberClasses || !out.libClassDesc || !out.libVersion) {
        error = path + ": not a plug-in module (LibDescription, LibNumberClasses, LibClassDesc or LibVersion missing)";
        return false;
    }
    // The host loads modules built for its own release and API.
    const ULONG version = out.libVersion();
    if ((version >> 8) != (VERSION_3DSMAX >> 8)) {
        char text[128];
        std::snprintf(text, sizeof text, ": built for SDK version 0x%08lX, the host is 0x%08lX",
                      static_cast<unsigned long>(version), static_cast<unsigned long>(VERSION_3DSMAX));
        error = path + text;
        return false;
    }
    const int count = out.libNumberClasses();
    for (int i = 0; i < count && !out.filterClass; ++i) {
        ClassDesc* desc = out.libClassDesc(i);
        if (desc && desc->SuperClassID() == FLT_CLASS_ID) out.filterClass = desc;
    }
    if (!out.filterClass) {
        error = path + ": the module has no image filter class";
        return false;
    }
    return true;
}

ImageFilter* CreateFilter(FilterModule& module, std::string& error)
{
    auto* filter = static_cast<ImageFilter*>(module.filterClass->Create(FALSE));
    if (!filter) error = "the filter module could not create a filter object";
    return filter;
}
