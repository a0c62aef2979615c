// SetupApp: parses the command line and runs the Setup dialog or the silent install.
#include "SetupApp.h"

#include "CommandLine.h"
#include "SetupDialog.h"
#include "SilentInstall.h"
#include "Text.h"
#include "resource.h"

#include <vector>

InstallEnvironment EnvironmentFromProcess()
{
    InstallEnvironment environment;
    std::vector<char> value(1024);
    const DWORD length = GetEnvironmentVariableA("KCF_SETUP_HOST_REGISTRY", value.data(), static_cast<DWORD>(value.size()));
    if (length == 0 || length >= value.size()) return environment;
    const std::string base(value.data(), length);
    HKEY machine = nullptr;
    HKEY user = nullptr;
    // Keys that do not open leave no host to find, never the machine's own.
    RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\machine").c_str(), 0, KEY_READ, &machine);
    RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\user").c_str(), 0, KEY_READ, &user);
    environment.machineRoot = machine;
    environment.userRoot = user;
    return environment;
}

bool SetupApp::InitInstance()
{
    const SetupOptions options = ParseCommandLine(CommandLine());
    if (options.help && options.error.empty()) {
        char caption[kMaxText + 1] = "";
        LoadStringA(GetModuleHandleA(nullptr), IDS_DEFAULT_TITLE, caption, sizeof caption);
        ShowUsage(caption);
        exitCode_ = 0;
        return false;
    }
    const InstallEnvironment environment = EnvironmentFromProcess();
    if (options.silent) {
        exitCode_ = RunSilent(options, environment, {});
        return false;
    }
    SetupDialog dialog(nullptr, environment);
    dialog.DoModal();
    return false;
}
