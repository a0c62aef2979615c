// setup.exe's command line: "/S [/D=PROGRAMDIR] [/LOG=FILE]" for a silent install, nothing for the dialog.
#pragma once

#include <string>

struct SetupOptions {
    bool silent = false;
    std::string directory;  // /D=: the host program directory, may hold spaces when last
    std::string logFile;    // /LOG=
    std::string error;      // not empty when the command line holds something unknown
};

SetupOptions ParseCommandLine(const std::string& line);
