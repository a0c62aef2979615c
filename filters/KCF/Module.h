// The filter module's identity records and its load-time state.
#pragma once

#include "Plugin.h"

struct FilterInfo {
    const TCHAR* displayName;
    const TCHAR* author;
    const TCHAR* copyright;
    const TCHAR* webAddress;
    UINT version;
    DWORD capability;
    int aboutDialog;
    int controlDialog;
};

struct LibraryInfo {
    const TCHAR* description;
    ULONG version;
    int classCount;
    ClassDesc* (*classList[1])();
};

extern const FilterInfo kFilterInfo;
extern const LibraryInfo kLibraryInfo;

constexpr Class_ID kKernelFilterClassId(0x33A25539, 0x39933116);

// Load and unload work of the module: returns FALSE to refuse a second attach.
BOOL ModuleAttach(HINSTANCE instance);
void ModuleDetach();
// The module handle recorded at load (resources are loaded from it); null when not loaded.
HINSTANCE ModuleInstance();
// The platform's common controls, initialised once at load (nothing outside Windows).
void InitPlatformControls();
