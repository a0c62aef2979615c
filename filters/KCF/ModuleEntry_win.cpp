// The module's entry point on Windows.
#include "Module.h"



extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD reason, LPVOID /*reserved*/)
{
    switch (reason) {
    case DLL_PROCESS_ATTACH: return ModuleAttach(hInstance);
    case DLL_PROCESS_DETACH: ModuleDetach(); return TRUE;
    default: return TRUE;
    }
}
