// AtomicFile on Windows: devices and folders refused, CREATE_NEW, FlushFileBuffers, MoveFileEx, and
// removal of the temporary file when the console is interrupted (Ctrl-C, Ctrl-Break, closed).
#include "AtomicFilePlatform.h"

#include <windows.h>

namespace atomicfile {

namespace {

// Temporary files to remove if the console ends the program. The handler runs on a thread of
// its own: whoever swaps state from 1 to 0 owns the file's removal or its rename.
struct PendingFile {
    volatile LONG state;
    char path[MAX_PATH * 4];
};
PendingFile pending[4];

BOOL WINAPI RemovePendingOnInterrupt(DWORD)
{
    for (PendingFile& file : pending)
        if (InterlockedExchange(&file.state, 0) == 1) DeleteFileA(file.path);
    return FALSE;  // the next handler, in the end the system's, ends the program
}

void Watch(const std::string& path)
{
    static bool installed = false;
    if (!installed) installed = SetConsoleCtrlHandler(RemovePendingOnInterrupt, TRUE) != 0;
    if (path.size() >= sizeof pending[0].path) return;
    for (PendingFile& file : pending) {
        if (file.state) continue;
        CopyMemory(file.path, path.c_str(), path.size() + 1);
        InterlockedExchange(&file.state, 1);
        return;
    }
}

// True when the caller now owns the file (it was watched, and no interrupt has taken it).
bool Unwatch(const std::string& path)
{
    for (PendingFile& file : pending)
        if (path == file.path && InterlockedExchange(&file.state, 0) == 1) return true;
    return false;
}

std::string SystemText(DWORD code)
{
    char text[256] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                   sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ' || s.back() == '.')) s.pop_back();
    return s.empty() ? "system error " + std::to_string(code) : s;
}

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

bool ResolveTarget(const std::string& path, std::string& target, std::string& error)
{
    target = path;
    const HANDLE h = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;  // a new file
        const DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            error = SystemText(code);
            return false;
        }
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            error = "is a folder, not a regular file; it is left as it was";
            return false;
        }
        return true;  // a file another program holds open; the rename says whether it may go
    }
    const DWORD type = GetFileType(h);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    if (type != FILE_TYPE_DISK) {
        error = "is a device or a pipe, not a regular file; it is left as it was";
        return false;
    }
    if (!known || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = "is a folder, not a regular file; it is left as it was";
        return false;
    }
    return true;
}

std::string FolderPart(const std::string& path)
{
    const size_t cut = path.find_last_of("\\/:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool CreateExclusive(const std::string& path, const std::string&, intptr_t& handle, bool& exists, std::string& error)
{
    // FILE_SHARE_DELETE lets the interrupt handler remove the file while it is open here.
    const HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
        error = SystemText(code);
        return false;
    }
    exists = false;
    Watch(path);
    handle = reinterpret_cast<intptr_t>(h);
    return true;
}

long long WriteOnce(intptr_t handle, const void* data, size_t size, std::string& error)
{
    DWORD written = 0;
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    if (!WriteFile(AsHandle(handle), data, chunk, &written, nullptr)) {
        error = SystemText(GetLastError());
        return -1;
    }
    return written;
}

bool SyncAndClose(intptr_t handle, std::string& error)
{
    bool ok = FlushFileBuffers(AsHandle(handle)) != 0;
    if (!ok) error = SystemText(GetLastError());
    if (!CloseHandle(AsHandle(handle)) && ok) {
        ok = false;
        error = SystemText(GetLastError());
    }
    return ok;
}

void CloseQuietly(intptr_t handle)
{
    if (handle != kNoHandle) CloseHandle(AsHandle(handle));
}

bool RenameOver(const std::string& temporary, const std::string& target, std::string& error)
{
    if (!Unwatch(temporary)) {
        error = "interrupted";
        return false;
    }
    if (MoveFileExA(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    error = SystemText(GetLastError());
    return false;
}

void RemoveTemporary(const std::string& temporary)
{
    Unwatch(temporary);
    DeleteFileA(temporary.c_str());
}

uint64_t RandomSeed()
{
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (uint64_t(GetCurrentProcessId()) << 40) ^ uint64_t(counter.QuadPart) ^
           (uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime) ^ reinterpret_cast<uintptr_t>(&counter);
}

void PauseForever()
{
    for (;;) Sleep(INFINITE);
}

}  // namespace atomicfile
