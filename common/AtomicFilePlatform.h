// What AtomicFile asks of the operating system: one implementation for POSIX, one for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace atomicfile {

constexpr intptr_t kNoHandle = -1;

// The file that writing path replaces: path itself, or where its symbolic links lead. False, with
// the reason (without the path), when that exists and is not a regular file.
bool ResolveTarget(const std::string& path, std::string& target, std::string& error);
// The folder part of path with its trailing separator, or "" for the current folder.
std::string FolderPart(const std::string& path);
// Creates path, which must not exist yet, for writing, with the permissions of likeFile when that
// exists. From then on path is removed if the user interrupts or terminates the program. exists
// tells a name that is taken from every other failure.
bool CreateExclusive(const std::string& path, const std::string& likeFile, intptr_t& handle, bool& exists,
                     std::string& error);
// One write call: the count the system reports written, or -1 with the reason.
long long WriteOnce(intptr_t handle, const void* data, size_t size, std::string& error);
// Puts the file's bytes on the disk and closes it; false if either step fails.
bool SyncAndClose(intptr_t handle, std::string& error);
void CloseQuietly(intptr_t handle);
// Renames temporary over target in one step and stops watching it for interruption.
bool RenameOver(const std::string& temporary, const std::string& target, std::string& error);
// Removes temporary and stops watching it for interruption.
void RemoveTemporary(const std::string& temporary);
// Bits for temporary names that differ between processes and runs.
uint64_t RandomSeed();
// Waits for a signal to end the program (the test seam's pause).
[[noreturn]] void PauseForever();

}  // namespace atomicfile
