// The installer's view of the machine: its own registry, Uninstall key and folders.
#include "SetupApp.h"

#include "Text.h"

#include <shlobj.h>

InstallEnvironment MachineEnvironment()
{
    InstallEnvironment environment;
    char module[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length > 0 && length < sizeof module) environment.programFile.assign(module, length);
    char common[MAX_PATH] = "";
    if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common) == S_OK)
        environment.recordBase = JoinPath(common, "Plug-In Installer");
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, nullptr, 0,
                    KEY_READ | KEY_WRITE, nullptr, &environment.uninstallRoot, nullptr);
    return environment;
}
