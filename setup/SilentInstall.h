// Silent mode: the install without a window, progress to standard output and an optional log file.
#pragma once

#include "CommandLine.h"
#include "InstallScript.h"

#include <string>

// Exit codes of a silent install or uninstall. kSilentAborted: done, but not all of it (a group of
// files aborted, a registration not written, something uninstall could not undo, or a log file
// that lost lines).
enum SilentExit { kSilentInstalled = 0, kSilentRefused = 1, kSilentAborted = 2 };

// "/?": the switches to standard output when there is one, and in a message box.
void ShowUsage(const std::string& caption);

// Runs the install, or with /U the uninstall, as the dialog would at start (or on the /D
// directory), with the script in scriptDirectory, or found as the dialog finds it when it is empty.
int RunSilent(const SetupOptions& options, const InstallEnvironment& environment, const std::string& scriptDirectory);
