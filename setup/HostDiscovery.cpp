// Host discovery: the registry's host installations and the binding of one host folder.
#include "HostDiscovery.h"

#include "Text.h"

#include <cstring>

namespace {

const char* const kKnownVersions[] = {"3.0", "3.1", "4.0", "5.0", "6.0"};
const char* const kPreferredVersion = "6.0";

// A location of at most 255 characters; a longer one counts as absent, never cut short. Only text
// values count; an expandable one is expanded. A location that is not a full path counts as
// absent too: it would be taken relative to wherever the installer runs.
bool ReadRegistryText(HKEY root, const std::string& subkey, const char* name, std::string& value)
{
    value.clear();
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    char buffer[kMaxText + 1] = "";
    DWORD type = 0;
    DWORD size = sizeof buffer;
    const LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    const size_t length = strnlen(buffer, size);
    if (length > kMaxText) return false;  // all 256 bytes used and no terminator
    value.assign(buffer, length);
    if (type == REG_EXPAND_SZ) {
        char expanded[kMaxText + 1] = "";
        const DWORD needed = ExpandEnvironmentStringsA(value.c_str(), expanded, sizeof expanded);
        if (needed == 0 || needed > sizeof expanded) return false;
        value = expanded;
    }
    return !value.empty() && IsFullPath(value);
}

bool ReadHostLocation(const HostRegistry& registry, const std::string& version, std::string& value)
{
    if (LeadingNumber(version) < 6.0)
        return ReadRegistryText(registry.userRoot, "SOFTWARE\\Autodesk\\3ds max\\" + version + "\\HELP", "3dsmax.chm",
                                value);
    return ReadRegistryText(registry.machineRoot, "SOFTWARE\\Autodesk\\3DSMAX\\" + version, "Installdir", value);
}

}  // namespace

bool BindHostFolder(const std::string& directory, BoundHost& bound, std::string& unopened)
{
    BoundHost host;
    host.programPath = directory;
    AddBackslash(host.programPath);
    for (IniFile* ini : {&host.maxIni, &host.pluginIni}) {
        if (!ini->Open(host.programPath + (ini == &host.maxIni ? "3DSMAX.INI" : "PLUGIN.INI"))) {
            unopened = ini->Path();
            return false;
        }
    }
    host.root = host.programPath;
    StripOneBackslash(host.root);
    bound = std::move(host);
    return true;
}

bool BindProgramPath(const std::string& fullPath, BoundHost& bound, std::string& unopened)
{
    return BindHostFolder(DriveAndDirectory(fullPath), bound, unopened);
}

DiscoveredHosts DiscoverHosts(const HostRegistry& registry)
{
    DiscoveredHosts found;
    std::string value;
    std::string unopened;
    if (!ReadHostLocation(registry, kPreferredVersion, value)) return found;
    if (!BindProgramPath(value, found.preferred, unopened)) {
        found.unopened.push_back(unopened);
        return found;
    }
    found.found = true;
    for (const char* version : kKnownVersions) {
        if (!ReadHostLocation(registry, version, value)) continue;
        BoundHost candidate;
        if (BindProgramPath(value, candidate, unopened)) found.versions.Append(version, candidate.programPath);
        else found.unopened.push_back(unopened);
    }
    return found;
}
