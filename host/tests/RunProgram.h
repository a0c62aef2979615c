// Runs a program of the build from a test and returns its exit status.
#pragma once

#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

// commandLine names a program in the working directory by its bare name, e.g. "vphost info ...".
inline int RunProgram(const std::string& commandLine, bool quiet = true)
{
#ifdef _WIN32
    const std::string command = commandLine + (quiet ? " >NUL 2>&1" : "");
    return std::system(command.c_str());
#else
    const std::string command = "./" + commandLine + (quiet ? " >/dev/null 2>&1" : "");
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
}
