// vphost's side of the host: its core interface (directories) and the road it takes to a filter object.
#pragma once

#include "ImageFilter.h"
#include "ModuleLoader.h"
#include "Plugin.h"

#include <string>

// Sets the directory the host reports as its plug-in configuration directory.
void SetHostPlugCfgDir(const std::string& dir);
const std::string& HostPlugCfgDir();

// A filter module loaded as the host loads one: version checked, its image-filter class found.
struct FilterModule {
    PluginModule module;
    LibDescriptionProc libDescription = nullptr;
    LibNumberClassesProc libNumberClasses = nullptr;
    LibClassDescProc libClassDesc = nullptr;
    LibVersionProc libVersion = nullptr;
    ClassDesc* filterClass = nullptr;  // the first class whose super-class is FLT_CLASS_ID
};

// Loads path, checks LibVersion against the host's release, and finds the image-filter class.
// On failure returns false with a one-line reason in error.
bool LoadFilterModule(const std::string& path, FilterModule& out, std::string& error);

// Creates a filter object of the module's image-filter class; null with a reason on failure.
ImageFilter* CreateFilter(FilterModule& module, std::string& error);
