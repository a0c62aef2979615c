// vphost's operating-system services on Windows.
#include "HostPlatform.h"
#include "WindowsArgument.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <io.h>

namespace {

// One argument as the C runtime's command-line parser reads it back: quoted when it holds a blank
// or a quote.
std::string QuoteArgument(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) return arg;
    return QuotedWindowsArgument(arg);
}

}  // namespace

std::string DefaultPlugCfgDir()
{
    if (const char* appData = std::getenv("APPDATA"); appData && *appData)
        return std::string(appData) + "\\vphost\\plugcfg";
    return "vphost-plugcfg";
}

bool MakeDirectories(const std::string& path)
{
    if (path.empty()) return false;
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '\\' && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (part.size() == 2 && part[1] == ':') continue;  // a drive
        CreateDirectoryA(part.c_str(), nullptr);
    }
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

uint64_t RegularFileSize(std::FILE* file)
{
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
    LARGE_INTEGER size{};
    if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size))
        return UINT64_MAX;
    return static_cast<uint64_t>(size.QuadPart);
}

unsigned ProcessorCount()
{
    SYSTEM_INFO info{};
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors < 1 ? 1u : static_cast<unsigned>(info.dwNumberOfProcessors);
}

std::string OwnProgramPath()
{
    char buffer[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    // A name that fills the buffer has been cut: never use it.
    if (n == 0 || n >= sizeof buffer - 1) return {};
    return std::string(buffer, n);
}

bool MakeTemporaryFile(std::string& path)
{
    char folder[MAX_PATH + 1], name[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder) return false;
    if (GetTempFileNameA(folder, "vph", 0, name) == 0) return false;
    path = name;
    return true;
}

bool StartProcess(const std::string& program, const std::vector<std::string>& args, const std::string& errorPath,
                  ProcessId& id, std::string& error)
{
    std::string commandLine;
    for (const std::string& a : args) {
        if (!commandLine.empty()) commandLine += ' ';
        commandLine += QuoteArgument(a);
    }
    if (commandLine.size() >= 32767) {
        error = "the command line for a frame is too long";
        return false;
    }
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE errorFile = CreateFileA(errorPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                         &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (errorFile == INVALID_HANDLE_VALUE) {
        error = "cannot create " + errorPath;
        return false;
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = errorFile;
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const BOOL started = CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                        &startup, &process);
    const DWORD why = GetLastError();
    CloseHandle(errorFile);
    if (!started) {
        error = "cannot start " + program + " (error " + std::to_string(why) + ")";
        return false;
    }
    CloseHandle(process.hThread);
    id = reinterpret_cast<ProcessId>(process.hProcess);
    return true;
}

bool WaitForAnyProcess(std::vector<ProcessId>& running, ProcessId& ended, int& exitStatus)
{
    if (running.empty() || running.size() > MAXIMUM_WAIT_OBJECTS) return false;
    std::vector<HANDLE> handles;
    for (ProcessId p : running) handles.push_back(reinterpret_cast<HANDLE>(p));
    const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    if (r >= WAIT_OBJECT_0 + handles.size()) return false;
    const size_t index = r - WAIT_OBJECT_0;
    DWORD code = 1;
    if (!GetExitCodeProcess(handles[index], &code)) code = 1;
    CloseHandle(handles[index]);
    ended = running[index];
    running.erase(running.begin() + static_cast<std::ptrdiff_t>(index));
    exitStatus = static_cast<int>(code);
    return true;
}

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "\\" + name; }
