// vphost's operating-system services on POSIX.
#include "HostPlatform.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

unsigned ProcessorCount()
{
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n < 1 ? 1u : static_cast<unsigned>(std::min<long>(n, 4096));
}

std::string OwnProgramPath()
{
    char buffer[PATH_MAX + 1];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    // A name that fills the buffer may have been cut: never use it.
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return {};
    return std::string(buffer, static_cast<size_t>(n));
}

bool MakeTemporaryFile(std::string& path)
{
    const char* folder = std::getenv("TMPDIR");
    std::string name = std::string(folder && *folder ? folder : "/tmp") + "/vphost-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0) return false;
    close(fd);
    path = name;
    return true;
}

bool StartProcess(const std::string& program, const std::vector<std::string>& args, const std::string& errorPath,
                  ProcessId& id, std::string& error)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        error = "out of memory";
        return false;
    }
    int rc = posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    if (rc == 0) rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        error = "cannot start " + program + ": " + std::strerror(rc);
        return false;
    }
    id = pid;
    return true;
}

bool WaitForAnyProcess(std::vector<ProcessId>& running, ProcessId& ended, int& exitStatus)
{
    while (!running.empty()) {
        int status = 0;
        const pid_t pid = waitpid(-1, &status, 0);
        if (pid < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        const auto it = std::find(running.begin(), running.end(), static_cast<ProcessId>(pid));
        if (it == running.end()) continue;  // not one of ours
        running.erase(it);
        ended = pid;
        exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return true;
    }
    return false;
}

std::string JoinPath(const std::string& dir, const std::string& name) { return dir + "/" + name; }
