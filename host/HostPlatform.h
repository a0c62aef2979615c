// What vphost needs of the operating system, apart from loading modules.
#pragma once

#include <cstdio>
#include <string>

// vphost's own per-user folder for the plug-in configuration directory.
std::string DefaultPlugCfgDir();
// Creates a directory and every missing parent; true when it exists afterwards.
bool MakeDirectories(const std::string& path);
// Replaces target with source atomically where the platform allows.
bool ReplaceFileWith(const std::string& source, const std::string& target);
bool RemoveFile(const std::string& path);
bool IsTerminal(std::FILE* stream);
int ProcessId();
