// Host discovery: the host installations the registry names, and the binding of one host's folder
// with its two INI files. Data only: the caller shows what did not open.
#pragma once

#include "HostVersionList.h"
#include "IniFile.h"

#include <windows.h>

#include <string>
#include <vector>

// Where hosts are registered: 6.0 and above under the machine's root, older ones under the user's.
struct HostRegistry {
    HKEY machineRoot = HKEY_LOCAL_MACHINE;
    HKEY userRoot = HKEY_CURRENT_USER;
};

// One host folder with both of its INI files open.
struct BoundHost {
    std::string programPath;  // ends in a backslash
    std::string root;         // the program path without its trailing backslash
    IniFile maxIni;
    IniFile pluginIni;
};

// Binds the host in the directory: 3DSMAX.INI, then PLUGIN.INI, must open. False, with the path of
// the file that did not, when one does not; bound is then left as it was.
bool BindHostFolder(const std::string& directory, BoundHost& bound, std::string& unopened);
// The same for the drive and directory of a full path (a file, or a folder ending in a backslash).
bool BindProgramPath(const std::string& fullPath, BoundHost& bound, std::string& unopened);

struct DiscoveredHosts {
    bool found = false;     // the preferred host (6.0) is registered and its files open
    BoundHost preferred;    // bound when found
    HostVersionList versions;
    // The INI files that did not open, in the order tried: each is one message to the user.
    std::vector<std::string> unopened;
};

// Reads the preferred host, then every known version in ascending order; a candidate is listed
// when both of its INI files open. Without the preferred host nothing is scanned.
DiscoveredHosts DiscoverHosts(const HostRegistry& registry);
