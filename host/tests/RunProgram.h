// Runs a program of the build from a test and returns its exit status.
#pragma once

#include <cstdlib>
#include <functional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <thread>
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

// Runs stream(0) and stream(1) at the same time, on two threads, and returns when both have.
// (The Windows build's thread model has no std::thread: it is the one Windows 2000 runs.)
inline void RunSideBySide(const std::function<void(int)>& stream)
{
#ifdef _WIN32
    struct Start {
        const std::function<void(int)>* stream;
        int index;
    } starts[2] = {{&stream, 0}, {&stream, 1}};
    struct Thread {
        static DWORD WINAPI Run(void* p)
        {
            const Start* start = static_cast<const Start*>(p);
            (*start->stream)(start->index);
            return 0;
        }
    };
    const auto run = &Thread::Run;
    HANDLE other = CreateThread(nullptr, 0, run, &starts[1], 0, nullptr);
    run(&starts[0]);
    if (other) {
        WaitForSingleObject(other, INFINITE);
        CloseHandle(other);
    } else {
        run(&starts[1]);
    }
#else
    std::thread other(stream, 1);
    stream(0);
    other.join();
#endif
}
