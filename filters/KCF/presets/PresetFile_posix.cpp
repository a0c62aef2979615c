// The preset library's file on POSIX systems: flock on the library itself, and a copy renamed over it.
//
// The lock sits on the library file. A save replaces that file, so a writer that waited for the lock
// may find itself holding the old one: after locking, it checks that the path still leads to the
// file it locked, and starts again if not. Only the holder of the current file's lock replaces it,
// so once that check has passed no other writer changes the library until the lock is given back.
// While there is no library, its folder's lock stands for it, with the same check the other way
// round (still no library once locked). The kernel gives a flock back when its holder dies, however
// it dies.
#include "PresetFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    int Release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset(int fd)
    {
        Close();
        fd_ = fd;
    }
    // The result of close(): on some file systems the last write error shows only here.
    bool Close()
    {
        if (fd_ < 0) return true;
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

private:
    int fd_;
};

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

[[noreturn]] void KillThisProcess()
{
    raise(SIGKILL);
    _exit(137);
}

// Writes all of data, checking every count that write() returns.
bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const LibraryFault fault = LibraryFaultAtNextStep();
        const size_t chunk = fault == LibraryFault::None ? size : size / 2;
        ssize_t written;
        do written = write(fd, data, chunk);
        while (written < 0 && errno == EINTR);
        if (written < 0 || static_cast<size_t>(written) > chunk) return false;
        if (fault == LibraryFault::Fail) return false;
        if (fault == LibraryFault::Kill) KillThisProcess();
        if (written == 0 && chunk > 0) return false;  // no progress: the disk takes no more
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Reads the whole file, or stops once it is past the library's limit.
bool ReadAll(int fd, std::string& bytes)
{
    char buffer[1 << 16];
    off_t at = 0;
    while (bytes.size() <= kMaxLibraryBytes) {
        const ssize_t n = pread(fd, buffer, sizeof buffer, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
        at += n;
    }
    return true;
}

// Writes bytes into a new file at copy, with the library's owner and mode (a new library gets what
// any new file gets), and flushes it to the disk.
bool WriteCopy(const std::string& copy, const std::string& bytes, const struct stat* library)
{
    unlink(copy.c_str());  // a copy left by a save that was killed
    LibraryFault fault = LibraryFaultAtNextStep();
    if (fault == LibraryFault::Fail) return false;
    Descriptor out(open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, library ? 0600 : 0666));
    if (out.Get() < 0) return false;
    if (fault == LibraryFault::Kill) KillThisProcess();
    if (library) {
        // Only root may give a file away; for anyone else the copy is theirs already, as the library was.
        if (fchown(out.Get(), library->st_uid, library->st_gid) != 0 && errno != EPERM) return false;
        if (fchmod(out.Get(), library->st_mode & 07777) != 0) return false;
    }
    if (!WriteAll(out.Get(), bytes.data(), bytes.size())) return false;

    fault = LibraryFaultAtNextStep();
    if (fault == LibraryFault::Kill) KillThisProcess();
    if (fault == LibraryFault::Fail || fsync(out.Get()) != 0) return false;
    fault = LibraryFaultAtNextStep();
    if (fault == LibraryFault::Kill) KillThisProcess();
    const bool closed = out.Close();
    return closed && fault != LibraryFault::Fail;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself durable. The library is already the new one when this fails, so a
// failure here is not reported: telling the user the save failed would be the untruth.
void SyncFolderOf(const std::string& path)
{
    Descriptor dir(open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) fsync(dir.Get());
}

}  // namespace

std::FILE* OpenLibraryForReading(const char* path, LibraryStatus& status)
{
    status = LibraryStatus::CannotOpen;
    if (!path || !*path) return nullptr;
    // Not blocking: a pipe with no writer would otherwise hold the reader here for ever.
    Descriptor fd(open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info;
    if (fd.Get() < 0 || fstat(fd.Get(), &info) != 0) return nullptr;
    if (!S_ISREG(info.st_mode)) {
        status = LibraryStatus::NotAFile;
        return nullptr;
    }
    if (static_cast<unsigned long long>(info.st_size) > kMaxLibraryBytes) {
        status = LibraryStatus::TooLarge;
        return nullptr;
    }
    const int flags = fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
    std::FILE* file = fdopen(fd.Get(), "rb");
    if (!file) return nullptr;
    fd.Release();  // fclose closes it now
    status = LibraryStatus::Done;
    return file;
}

LibraryStatus ExtendLibraryFile(const char* path, const LibraryExtension& extend)
{
    LibraryFaultCount count;
    if (!path || !*path) return LibraryStatus::CannotOpen;
    // A link is followed: the file it leads to is extended and the link stays a link.
    std::string target = path;
    if (char* real = realpath(path, nullptr)) {
        target = real;
        std::free(real);
    }

    Descriptor lock;
    struct stat locked;
    bool existed = false;
    for (;;) {
        struct stat now;
        if (stat(target.c_str(), &now) == 0 && !S_ISREG(now.st_mode)) return LibraryStatus::NotAFile;
        lock.Reset(open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        existed = lock.Get() >= 0;
        if (!existed) {
            if (errno == EISDIR) return LibraryStatus::NotAFile;
            if (errno != ENOENT) return LibraryStatus::CannotOpen;
            // No library yet: the lock of its folder stands for it until a save has put one there,
            // so that nothing is made before the rename and a failed first save leaves no file.
            lock.Reset(open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            if (lock.Get() < 0) return LibraryStatus::CannotOpen;
        }
        int locking;
        do locking = flock(lock.Get(), LOCK_EX);
        while (locking != 0 && errno == EINTR);
        if (locking != 0) return LibraryStatus::CannotWrite;  // never write without the lock
        if (fstat(lock.Get(), &locked) != 0) return LibraryStatus::CannotOpen;
        if (existed && !S_ISREG(locked.st_mode)) return LibraryStatus::NotAFile;
        const bool there = stat(target.c_str(), &now) == 0;
        if (existed ? there && SameFile(now, locked) : !there) break;
        // Replaced, removed or made by the writer before us: lock what is there now.
    }

    std::string bytes;
    if (existed) {
        if (static_cast<unsigned long long>(locked.st_size) > kMaxLibraryBytes) return LibraryStatus::TooLarge;
        if (!ReadAll(lock.Get(), bytes)) return LibraryStatus::CannotOpen;
        if (bytes.size() > kMaxLibraryBytes) return LibraryStatus::TooLarge;
    }
    const std::string addition = extend(bytes, existed);
    if (addition.empty()) return LibraryStatus::Declined;
    if (addition.size() > kMaxLibraryBytes - bytes.size()) return LibraryStatus::TooLarge;
    bytes += addition;

    // One name for the copy is enough: only the lock holder writes it.
    const std::string copy = target + ".new";
    if (!WriteCopy(copy, bytes, existed ? &locked : nullptr)) {
        unlink(copy.c_str());
        return LibraryStatus::CannotWrite;
    }
    const LibraryFault fault = LibraryFaultAtNextStep();
    if (fault == LibraryFault::Kill) KillThisProcess();
    if (fault == LibraryFault::Fail || rename(copy.c_str(), target.c_str()) != 0) {
        unlink(copy.c_str());
        return LibraryStatus::CannotWrite;
    }
    if (LibraryFaultAtNextStep() == LibraryFault::Kill) KillThisProcess();
    SyncFolderOf(target);
    return LibraryStatus::Done;
}
