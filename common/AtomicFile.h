// Replaces a file so that anyone reading it sees the old bytes or all of the new ones, never a part.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes a new file beside the one it replaces, under a fresh name of its own, and renames it over
// the old one only when every byte is on the disk. A symbolic link is written through: its target
// gets the new content and the link stays. Anything that exists and is not a regular file (a
// folder, a device, a FIFO) is refused. Until Commit, the temporary file is removed again on any
// failure, on destruction, and when the user interrupts or terminates the program.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Whether path may be replaced: it is absent, a regular file, or a link to one. error names path.
    static bool CanReplace(const std::string& path, std::string& error);

    // Creates the empty temporary file. False, with error naming path, when it cannot.
    bool Open(const std::string& path, std::string& error);
    // Appends size bytes. After the first failure every call fails; Commit then says why.
    bool Write(const void* data, size_t size);
    bool Failed() const { return !failure_.empty(); }
    // Writes out what is buffered, syncs, closes and renames over the target. False leaves the
    // target exactly as it was and no temporary file behind.
    bool Commit(std::string& error);
    // Removes the temporary file; the target stays as it was.
    void Abandon();

    // Where the content goes: the path given, or the file its symbolic link leads to.
    const std::string& Target() const { return target_; }
    // The temporary file, while open.
    const std::string& Temporary() const { return temporary_; }
    // Makes every later Open try the same names in the same order (tests take one beforehand).
    static void RepeatNamesForTesting(uint64_t seed);

private:
    bool FlushBuffer();

    std::string path_, target_, temporary_;
    intptr_t handle_ = -1;
    std::vector<unsigned char> buffer_;
    std::string failure_;  // the first write failure, for Commit's message
    bool open_ = false;
};
