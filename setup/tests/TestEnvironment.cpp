// setup_seams.exe's view of the machine: the machine's, or a fake host's that a test names.
//
// KCF_SETUP_HOST_REGISTRY names a key under HKEY_CURRENT_USER whose "machine" and "user" subkeys
// stand in for HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER in host discovery, and whose "uninstall"
// subkey stands in for the Uninstall key; KCF_SETUP_RECORD_DIR then names the records' folder.
// Only the test build links this; setup.exe as it ships reads neither (ShippedEnvironment.cpp).
#include "SetupApp.h"

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
    InstallEnvironment environment = MachineEnvironment();
    const std::string base = Variable("KCF_SETUP_HOST_REGISTRY");
    if (base.empty()) return environment;
    if (environment.uninstallRoot) RegCloseKey(environment.uninstallRoot);
    environment.uninstallRoot = nullptr;
    HKEY machine = nullptr;
    HKEY user = nullptr;
    // Keys that do not open leave no host to find, never the machine's own.
    RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\machine").c_str(), 0, KEY_READ, &machine);
    RegOpenKeyExA(HKEY_CURRENT_USER, (base + "\\user").c_str(), 0, KEY_READ, &user);
    environment.registry.machineRoot = machine;
    environment.registry.userRoot = user;
    RegCreateKeyExA(HKEY_CURRENT_USER, (base + "\\uninstall").c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                    &environment.uninstallRoot, nullptr);
    const std::string records = Variable("KCF_SETUP_RECORD_DIR");
    if (!records.empty()) environment.recordBase = records;
    return environment;
}
