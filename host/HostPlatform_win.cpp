// vphost's operating-system services on Windows.
#include "HostPlatform.h"

#include <windows.h>

#include <cstdlib>
#include <io.h>

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
