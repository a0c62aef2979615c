// The bound host that the installer's native tests and fuzz targets plan for.
#pragma once

#include "InstallPlan.h"

#include <string>

// A host 6.0 at root: its help and scripts folders below it, its fonts folder given as a relative
// path (which takes no files), extra plug-ins on another drive, and its first bitmap folder written
// with a trailing backslash.
inline HostBinding SampleHost(const std::string& root = "C:\\max")
{
    HostBinding host;
    host.root = root;
    host.version = "6.0";
    host.windowsDirectory = "C:\\WINDOWS";
    host.systemDirectory = "C:\\WINDOWS\\system32";
    host.directories = {{"Help", root + "\\help"}, {"Scripts", root + "\\scripts"}, {"Fonts", "fonts"}};
    host.additionalPlugins = "D:\\more";
    host.firstBitmapDir = root + "\\maps\\";
    return host;
}
