// What vphost needs of the operating system, apart from loading modules.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// vphost's own per-user folder for the plug-in configuration directory.
std::string DefaultPlugCfgDir();
// Creates a directory and every missing parent; true when it exists afterwards.
bool MakeDirectories(const std::string& path);
bool IsTerminal(std::FILE* stream);
// The size of the open regular file; UINT64_MAX for anything else (a pipe, a device).
uint64_t RegularFileSize(std::FILE* file);

// The number of processors the program may use; at least 1.
unsigned ProcessorCount();
// The full path of the running program, for starting it again; empty when it cannot be told.
std::string OwnProgramPath();
// Makes a new empty file of the program's own in the system's temporary folder and returns its
// name in path; false when none can be made.
bool MakeTemporaryFile(std::string& path);

// A started child process; the number means what the platform says (a pid, a process handle).
using ProcessId = intptr_t;
// Starts program with args (args[0] is the program's name as it sees it), standard error going to
// the file errorPath (replaced), standard input and output shared with this program. False, with
// error saying why, when it cannot be started.
bool StartProcess(const std::string& program, const std::vector<std::string>& args, const std::string& errorPath,
                  ProcessId& id, std::string& error);
// Waits until one of the running processes ends; takes it out of running and returns its id and
// exit status (128 + the signal's number for one ended by a signal). False when running is empty
// or waiting fails.
bool WaitForAnyProcess(std::vector<ProcessId>& running, ProcessId& ended, int& exitStatus);
// dir and name joined by the platform's separator.
std::string JoinPath(const std::string& dir, const std::string& name);
