// Finds the running host's core interface, which the host program exports (Windows: the .exe's exports).
#include "Interface.h"

Interface* FindCOREInterface()
{
    auto proc = reinterpret_cast<GetCOREInterfaceProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), "GetCOREInterface")));
    return proc ? proc() : nullptr;
}
