// The preset library's file on disk: checking it before a read, and extending it under a lock so
// that a save either adds its whole record or leaves every byte as it was.
//
// How a save goes (PresetFile_posix.cpp, PresetFile_win.cpp):
//   1. Take the library's lock. Every writer takes it (the control dialog in any host session,
//      kcftool, make-starter-presets), so saves from several processes follow one another.
//   2. Read the whole library (it is small: at most kMaxLibraryBytes).
//   3. Ask the caller what to add; the caller checks the name and the tail of the file.
//   4. Write old bytes + addition to a copy beside the library, flush it to the disk, check every
//      count the platform returns, and rename the copy over the library.
//   5. Give the lock back.
// Appending in place was the other choice. It is cheaper, but a kill or a power cut in the middle
// of the write leaves half a record that no later truncation can take back (a write() of a few
// hundred bytes is not atomic against SIGKILL once it crosses a page). A rename is: the library is
// the old file or the new one, whatever the moment the process dies. The cost is one copy of a
// file of a few kilobytes per save, and the room for that copy on the disk.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

// The most a preset library may hold: 4 MiB, tens of thousands of records. A larger file, or a
// save that would make it larger, is refused; so the reader can never be fed without end.
constexpr size_t kMaxLibraryBytes = size_t(4) << 20;
constexpr const char* kMaxLibraryText = "4 MB";

enum class LibraryStatus {
    Done,         // read, or extended by the addition
    Declined,     // the caller added nothing; the file is as it was
    CannotOpen,   // it cannot be opened (missing folder, no permission, locked against writing)
    NotAFile,     // a folder, a device or a pipe
    TooLarge,     // over kMaxLibraryBytes, or would be with the addition
    CannotWrite,  // the copy could not be made or put in place; the library is as it was
};

// Opens the library for reading when it is a regular file of at most kMaxLibraryBytes; otherwise
// returns null and says why in status. Never waits on a pipe or reads a device.
std::FILE* OpenLibraryForReading(const char* path, LibraryStatus& status);

// Decides, from the library's bytes (empty, with existed false, when there is no file yet), what
// to add at its end; an empty answer adds nothing. Runs under the lock: it must not wait on the
// user.
using LibraryExtension = std::function<std::string(const std::string& bytes, bool existed)>;

// Extends the library at path as described at the top of this file. Only Done changes the file;
// every other answer leaves it byte for byte as it was (a library that did not exist still does
// not).
LibraryStatus ExtendLibraryFile(const char* path, const LibraryExtension& extend);

// A seam for tests: the step-th disk step of the next save (creating the copy, each write call,
// the flush, closing, the rename, syncing the folder) fails, writes half and reports it, or kills
// the process. A write step that fails or kills writes half its bytes first, as a full disk or a
// kill in the middle of the call would. The plan holds for one save.
enum class LibraryFault { None, Fail, ShortWrite, Kill };
void InjectLibraryFault(LibraryFault fault, int step);
// Whether the planned fault was met in the last save (false: the save has fewer steps).
bool LibraryFaultFired();
// "fail:N", "short:N" or "kill:N" into a plan; false for anything else.
bool ParseLibraryFault(const std::string& text, LibraryFault& fault, int& step);

// For the platform files: a save counts its disk steps from its start, and the plan ends with it.
struct LibraryFaultCount {
    LibraryFaultCount();
    ~LibraryFaultCount();
    LibraryFaultCount(const LibraryFaultCount&) = delete;
    LibraryFaultCount& operator=(const LibraryFaultCount&) = delete;
};
// Counts one disk step of the current save and answers the fault to apply there, if any.
LibraryFault LibraryFaultAtNextStep();
