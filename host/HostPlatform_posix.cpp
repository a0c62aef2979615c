// vphost's operating-system services on POSIX.
#include "HostPlatform.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

std::string DefaultPlugCfgDir()
{
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return std::string(xdg) + "/vphost/plugcfg";
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config/vphost/plugcfg";
    return "vphost-plugcfg";
}

bool MakeDirectories(const std::string& path)
{
    if (path.empty()) return false;
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

uint64_t RegularFileSize(std::FILE* file)
{
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return UINT64_MAX;
    return static_cast<uint64_t>(st.st_size);
}
