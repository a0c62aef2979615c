// The preset library's file on Windows: LockFileEx on a lock file beside the library, and a copy
// moved over it.
//
// The lock cannot sit on the library itself: Windows does not replace a file that any process holds
// open, and the lock holder would hold it. It sits on "<library>.lock", which stays beside the
// library (removing a lock file is a race of its own). The system gives a LockFileEx lock back when
// its process ends, however it ends.
#include "PresetFile.h"

#include <windows.h>

#include <io.h>

namespace {

class Handle {
public:
    explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return h_; }
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    bool Close()
    {
        if (!Valid()) return true;
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return CloseHandle(h) != 0;
    }

private:
    HANDLE h_;
};

const DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

[[noreturn]] void KillThisProcess()
{
    TerminateProcess(GetCurrentProcess(), 137);
    ExitProcess(137);
}

// The file behind handle h: a disk file of at most kMaxLibraryBytes, or why not.
LibraryStatus CheckFile(HANDLE h)
{
    if (GetFileType(h) != FILE_TYPE_DISK) return LibraryStatus::NotAFile;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return LibraryStatus::CannotOpen;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return LibraryStatus::NotAFile;
    if (info.nFileSizeHigh != 0 || info.nFileSizeLow > kMaxLibraryBytes) return LibraryStatus::TooLarge;
    return LibraryStatus::Done;
}

// Writes all of data, checking every count that WriteFile returns.
bool WriteAll(HANDLE h, const char* data, size_t size)
{
    while (size > 0) {
        const LibraryFault fault = LibraryFaultAtNextStep();
        const size_t chunk = fault == LibraryFault::None ? size : size / 2;
        DWORD written = 0;
        if (!WriteFile(h, data, static_cast<DWORD>(chunk), &written, nullptr) || written > chunk) return false;
        if (fault == LibraryFault::Fail) return false;
        if (fault == LibraryFault::Kill) KillThisProcess();
        if (written == 0 && chunk > 0) return false;  // no progress: the disk takes no more
        data += written;
        size -= written;
    }
    return true;
}

// Reads the whole file, or stops once it is past the library's limit.
bool ReadAll(HANDLE h, std::string& bytes)
{
    char buffer[1 << 16];
    while (bytes.size() <= kMaxLibraryBytes) {
        DWORD n = 0;
        if (!ReadFile(h, buffer, sizeof buffer, &n, nullptr)) return false;
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    return true;
}

// Writes bytes into a new file at copy, with the library's attributes, and flushes it to the disk.
bool WriteCopy(const std::string& copy, const std::string& bytes, DWORD attributes)
{
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(copy.c_str());  // a copy left by a save that was killed
    LibraryFault fault = LibraryFaultAtNextStep();
    if (fault == LibraryFault::Fail) return false;
    Handle out(CreateFileA(copy.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, attributes, nullptr));
    if (!out.Valid()) return false;
    if (fault == LibraryFault::Kill) KillThisProcess();
    if (!WriteAll(out.Get(), bytes.data(), bytes.size())) return false;

    fault = LibraryFaultAtNextStep();
    if (fault == LibraryFault::Kill) KillThisProcess();
    if (fault == LibraryFault::Fail || !FlushFileBuffers(out.Get())) return false;
    fault = LibraryFaultAtNextStep();
    if (fault == LibraryFault::Kill) KillThisProcess();
    const bool closed = out.Close();
    return closed && fault != LibraryFault::Fail;
}

// Moves the copy over the library. A reader in another process may hold the library open for a
// moment, and Windows does not replace an open file: try again for up to two seconds.
bool MoveOver(const std::string& copy, const std::string& target)
{
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExA(copy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == 100) return false;
        Sleep(20);
    }
}

}  // namespace

std::FILE* OpenLibraryForReading(const char* path, LibraryStatus& status)
{
    status = LibraryStatus::CannotOpen;
    if (!path || !*path) return nullptr;
    std::FILE* file = std::fopen(path, "rb");
    if (!file) {
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            status = LibraryStatus::NotAFile;
        return nullptr;
    }
    status = CheckFile(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))));
    if (status != LibraryStatus::Done) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

LibraryStatus ExtendLibraryFile(const char* path, const LibraryExtension& extend)
{
    LibraryFaultCount count;
    if (!path || !*path) return LibraryStatus::CannotOpen;
    const std::string target = path, lockPath = target + ".lock", copy = target + ".new";
    // The names beside the library must fit the system's paths; a cut name would be another file.
    if (lockPath.size() >= MAX_PATH) return LibraryStatus::CannotWrite;
    const DWORD found = GetFileAttributesA(target.c_str());
    if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY)) return LibraryStatus::NotAFile;

    Handle lock(CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!lock.Valid()) return LibraryStatus::CannotOpen;
    OVERLAPPED at = {};
    if (!LockFileEx(lock.Get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at)) return LibraryStatus::CannotWrite;
    // Given back when the handle closes, on every way out of here.

    // Opened for writing too, so that a read-only library is refused here, before anything is written.
    std::string bytes;
    bool existed = true;
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    {
        Handle library(CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!library.Valid()) {
            if (GetLastError() != ERROR_FILE_NOT_FOUND) return LibraryStatus::CannotOpen;
            existed = false;
        } else {
            const LibraryStatus check = CheckFile(library.Get());
            if (check != LibraryStatus::Done) return check;
            if (!ReadAll(library.Get(), bytes)) return LibraryStatus::CannotOpen;
            if (bytes.size() > kMaxLibraryBytes) return LibraryStatus::TooLarge;
            BY_HANDLE_FILE_INFORMATION info;
            if (GetFileInformationByHandle(library.Get(), &info))
                attributes = info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
            if (!attributes) attributes = FILE_ATTRIBUTE_NORMAL;
        }
    }
    const std::string addition = extend(bytes, existed);
    if (addition.empty()) return LibraryStatus::Declined;
    if (addition.size() > kMaxLibraryBytes - bytes.size()) return LibraryStatus::TooLarge;
    bytes += addition;

    // One name for the copy is enough: only the lock holder writes it.
    if (!WriteCopy(copy, bytes, attributes)) {
        DeleteFileA(copy.c_str());
        return LibraryStatus::CannotWrite;
    }
    const LibraryFault fault = LibraryFaultAtNextStep();
    if (fault == LibraryFault::Kill) KillThisProcess();
    if (fault == LibraryFault::Fail || !MoveOver(copy, target)) {
        DeleteFileA(copy.c_str());
        return LibraryStatus::CannotWrite;
    }
    return LibraryStatus::Done;
}
