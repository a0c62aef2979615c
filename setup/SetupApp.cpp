// SetupApp: parses the command line and runs the Setup dialog or the silent install.
#include "SetupApp.h"

#include "CommandLine.h"
#include "SetupDialog.h"
#include "SilentInstall.h"
#include "Text.h"
#include "resource.h"

#include <shlobj.h>

#include <vector>

namespace {

std::string Variable(const char* name)
{
    std::vector<char> value(1024);
    const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    return length == 0 || length >= value.size() ? std::string() : std::string(value.data(), length);
}

}  // namespace

InstallEnvironment EnvironmentFromProcess()
{
    InstallEnvironment environment;
    char module[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length > 0 && length < sizeof module) environment.programFile.assign(module, length);
    char common[MAX_PATH] = "";
    if (SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common) == S_OK)
        environment.recordBase = JoinPath(common, "Plug-In Installer");

    const std::string base = Variable("KCF_SETUP_HOST_REGISTRY");
    if (base.empty()) {
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &environment.uninstallRoot, nullptr);
        return environment;
    }
    HKEY machine = nullptr;
    HKEY user = nullptr;
    // Keys that do not open leave no host to find, never the machine's own.
    RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\machine").c_str(), 0, KEY_READ, &machine);
    RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\user").c_str(), 0, KEY_READ, &user);
    environment.machineRoot = machine;
    environment.userRoot = user;
    // The list of programs and the records follow: "uninstall" below the same key, and the folder
    // KCF_SETUP_RECORD_DIR when it is set.
    RegCreateKeyExA(HKEY_CURRENT_USER, (base + "\\uninstall").c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                    &environment.uninstallRoot, nullptr);
    const std::string records = Variable("KCF_SETUP_RECORD_DIR");
    if (!records.empty()) environment.recordBase = records;
    return environment;
}

bool SetupApp::InitInstance()
{
    const SetupOptions options = ParseCommandLine(CommandLine());
    if (options.help && options.error.empty()) {
        ShowUsage(ResourceText(IDS_DEFAULT_TITLE, "Plug-In Installer"));
        exitCode_ = 0;
        return false;
    }
    const InstallEnvironment environment = EnvironmentFromProcess();
    if (options.silent) {
        exitCode_ = RunSilent(options, environment, {});
        return false;
    }
    SetupDialog dialog(nullptr, environment, {}, options.uninstall, options.directory);
    dialog.DoModal();
    return false;
}
