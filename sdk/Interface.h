// The host's core interface, as far as plug-ins use it: where the host keeps its directories.
#pragma once

#include "MsAbi.h"
#include "Win32.h"

// Directory numbers for Interface::GetDir.
constexpr int APP_PLUGCFG_DIR = 9;  // plug-in configuration files

class Interface {
public:
    MSABI_DELETING_DESTRUCTOR(Interface)
    // The directory, without a trailing backslash; empty when the host has none of that number.
    virtual const TCHAR* GetDir(int which) = 0;

    virtual ~Interface() = default;
};

// The running host's core interface, or null outside a host. A host publishes it by exporting
// the C function "GetCOREInterface" (a GetCOREInterfaceProc) from its program, with HOST_EXPORT.
Interface* FindCOREInterface();

extern "C" {
typedef Interface* (*GetCOREInterfaceProc)();
}

#ifdef _WIN32
#define HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif
