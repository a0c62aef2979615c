// What vphost needs of the operating system, apart from loading modules.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// vphost's own per-user folder for the plug-in configuration directory.
std::string DefaultPlugCfgDir();
// Creates a directory and every missing parent; true when it exists afterwards.
bool MakeDirectories(const std::string& path);
bool IsTerminal(std::FILE* stream);
// The size of the open regular file; UINT64_MAX for anything else (a pipe, a device).
uint64_t RegularFileSize(std::FILE* file);
