// setup.exe's command line: "/S [/U] [/D=PROGRAMDIR] [/LOG=FILE]" for a silent install or uninstall,
// "/U" for the uninstall dialog, "/?" for the switches, nothing for the Setup dialog.
#pragma once

#include <string>

struct SetupOptions {
    bool silent = false;
    bool uninstall = false;  // /U
    bool help = false;       // /?
    std::string directory;  // /D=: the host program directory, may hold spaces when last
    std::string logFile;    // /LOG=
    std::string error;      // not empty when the command line holds something unknown
};

SetupOptions ParseCommandLine(const std::string& line);

// The switches as "/?" shows them.
extern const char kUsageText[];
