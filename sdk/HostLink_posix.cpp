// Finds the running host's core interface, which the host program exports (POSIX: dlsym).
#include "Interface.h"

#include <dlfcn.h>

Interface* FindCOREInterface()
{
    auto proc = reinterpret_cast<GetCOREInterfaceProc>(dlsym(RTLD_DEFAULT, "GetCOREInterface"));
    return proc ? proc() : nullptr;
}
