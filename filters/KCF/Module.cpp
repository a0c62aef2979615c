// The module's identity records and its load-time state.
#include "Module.h"

#include "CustCtrl.h"
#include "ImageFilter.h"

namespace {

HINSTANCE gModuleInstance = nullptr;
bool gControlsInitialised = false;

}  // namespace

const FilterInfo kFilterInfo = {
    "Kernelcraft Filter",
    "Marlow, Tessa (tessa.marlow@example.org)",
    "Copyright (c) 2026 Kernelcraft Works",
    "https://kernelcraft.example.org/",
    0x33A25539,
    IMGFLT_CONTROL | IMGFLT_FILTER,
    101,
    102,
};

BOOL ModuleAttach(HINSTANCE instance)
{
    if (gModuleInstance) return FALSE;
    gModuleInstance = instance;
    if (!gControlsInitialised) {
        gControlsInitialised = true;
        InitCustomControls(instance);
        InitPlatformControls();
    }
    return TRUE;
}

void ModuleDetach()
{
    if (gControlsInitialised) ReleaseCustomControls(gModuleInstance);
    gModuleInstance = nullptr;
    gControlsInitialised = false;
}

HINSTANCE ModuleInstance() { return gModuleInstance; }
