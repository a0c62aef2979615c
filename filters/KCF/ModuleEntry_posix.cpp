// The module's load and unload work as a shared object: run by the dynamic loader, like DllMain.
#include "Module.h"

#include <dlfcn.h>


namespace {

__attribute__((constructor)) void OnLoad()
{
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&OnLoad), &info);
    ModuleAttach(info.dli_fbase ? info.dli_fbase : reinterpret_cast<void*>(&OnLoad));
}

__attribute__((destructor)) void OnUnload() { ModuleDetach(); }

}  // namespace
