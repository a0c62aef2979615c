// AtomicFile on POSIX: symbolic links resolved, exclusive creation, fsync, rename, and removal of
// the temporary file on SIGINT, SIGTERM and SIGHUP.
#include "AtomicFilePlatform.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace atomicfile {

namespace {

// Temporary files to remove if a signal ends the program. The handler reads them, so they are
// changed only while those signals are blocked.
struct PendingFile {
    volatile sig_atomic_t used;
    char path[PATH_MAX];
};
PendingFile pending[4];
const int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void RemovePendingAndDie(int signal)
{
    const int savedErrno = errno;
    for (PendingFile& file : pending)
        if (file.used) unlink(file.path);
    errno = savedErrno;
    // SA_RESETHAND has put back the default action: the signal ends the program once we return.
    raise(signal);
}

void InstallHandlersOnce()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    struct sigaction action {};
    action.sa_handler = RemovePendingAndDie;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int s : kCleanupSignals) sigaddset(&action.sa_mask, s);
    for (int s : kCleanupSignals) {
        struct sigaction old {};
        // A signal the program was started ignoring (nohup) stays ignored.
        if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
}

// Blocks the clean-up signals for its lifetime.
class SignalsBlocked {
public:
    SignalsBlocked()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int s : kCleanupSignals) sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }
    SignalsBlocked(const SignalsBlocked&) = delete;
    SignalsBlocked& operator=(const SignalsBlocked&) = delete;

private:
    sigset_t old_;
};

void Watch(const std::string& path)
{
    if (path.size() >= PATH_MAX) return;
    for (PendingFile& file : pending) {
        if (file.used) continue;
        std::memcpy(file.path, path.c_str(), path.size() + 1);
        file.used = 1;
        return;
    }
}

void Unwatch(const std::string& path)
{
    for (PendingFile& file : pending)
        if (file.used && path == file.path) file.used = 0;
}

const char* Kind(mode_t mode)
{
    return S_ISDIR(mode) ? "a folder" : S_ISFIFO(mode) ? "a FIFO" : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
         : S_ISSOCK(mode) ? "a socket" : "not a regular file";
}

}  // namespace

bool ResolveTarget(const std::string& path, std::string& target, std::string& error)
{
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            error = std::strerror(errno);
            return false;
        }
        target = path;  // a new file; a missing folder is reported when the file is created
        return true;
    }
    target = path;
    if (S_ISLNK(st.st_mode)) {
        char* real = realpath(path.c_str(), nullptr);
        if (!real) {
            error = errno == ENOENT ? "a symbolic link to a file that does not exist; it is left as it was"
                                    : std::string("cannot follow the symbolic link: ") + std::strerror(errno);
            return false;
        }
        target = real;
        std::free(real);
        if (stat(target.c_str(), &st) != 0) {
            error = std::strerror(errno);
            return false;
        }
    }
    if (!S_ISREG(st.st_mode)) {
        error = std::string("is ") + Kind(st.st_mode) + ", not a regular file; it is left as it was";
        return false;
    }
    return true;
}

std::string FolderPart(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool CreateExclusive(const std::string& path, const std::string& likeFile, intptr_t& handle, bool& exists,
                     std::string& error)
{
    InstallHandlersOnce();
    SignalsBlocked blocked;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        exists = errno == EEXIST;
        error = std::strerror(errno);
        return false;
    }
    exists = false;
    Watch(path);
    struct stat st {};
    if (stat(likeFile.c_str(), &st) == 0 && S_ISREG(st.st_mode)) fchmod(fd, st.st_mode & 07777);
    handle = fd;
    return true;
}

long long WriteOnce(intptr_t handle, const void* data, size_t size, std::string& error)
{
    ssize_t n;
    do n = write(static_cast<int>(handle), data, size);
    while (n < 0 && errno == EINTR);
    if (n < 0) error = std::strerror(errno);
    return n;
}

bool SyncAndClose(intptr_t handle, std::string& error)
{
    const int fd = static_cast<int>(handle);
    bool ok = fsync(fd) == 0;
    if (!ok) error = std::strerror(errno);
    if (close(fd) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    return ok;
}

void CloseQuietly(intptr_t handle)
{
    if (handle != kNoHandle) close(static_cast<int>(handle));
}

bool RenameOver(const std::string& temporary, const std::string& target, std::string& error)
{
    {
        SignalsBlocked blocked;
        if (std::rename(temporary.c_str(), target.c_str()) != 0) {
            error = std::strerror(errno);
            return false;
        }
        Unwatch(temporary);
    }
    // The rename itself reaches the disk with its folder.
    const std::string folder = FolderPart(target);
    const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

void RemoveTemporary(const std::string& temporary)
{
    SignalsBlocked blocked;
    unlink(temporary.c_str());
    Unwatch(temporary);
}

uint64_t RandomSeed()
{
    uint64_t seed = 0;
    const int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (read(fd, &seed, sizeof seed) != static_cast<ssize_t>(sizeof seed)) seed = 0;
        close(fd);
    }
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return seed ^ (uint64_t(getpid()) << 32) ^ uint64_t(now.tv_nsec) ^ (uint64_t(now.tv_sec) << 20);
}

void PauseForever()
{
    for (;;) pause();
}

}  // namespace atomicfile
