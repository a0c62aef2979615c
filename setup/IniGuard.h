// Keeps the host's INI files whole through an install: a copy before the first write to a file, a
// check after every write, and the copy put back when a write went wrong.
#pragma once

#include "IniFile.h"

#include <string>
#include <vector>

// What became of one guarded write.
enum class IniWrite {
    kWritten,       // the file holds every line it held before, and the new key
    kNotWritten,    // refused or undone: the file is as it was before the install
    kCopyKept,      // the write damaged the file and it could not be put back; the copy stays beside it
    kCopyInTheWay,  // a copy left by an earlier install stands where this one's would go; nothing written
};

class IniGuard {
public:
    explicit IniGuard(ProfileWriter& writer) : writer_(writer) {}
    ~IniGuard() { Finish(); }
    IniGuard(const IniGuard&) = delete;
    IniGuard& operator=(const IniGuard&) = delete;

    // Writes one key. Before the first write to a file its copy is made; once a write to a file has
    // failed, that file is not written again until Finish.
    IniWrite Write(const IniFile& ini, const char* section, const std::string& key, const std::string& value);
    // Removes one key, guarded alike: afterwards the file holds every line it held but the key's.
    IniWrite Remove(const IniFile& ini, const char* section, const std::string& key);
    // Removes a section that holds no key, guarded alike: afterwards the file holds every line it
    // held but the section's header.
    IniWrite RemoveEmptySection(const IniFile& ini, const char* section);
    // Whether the file has a header of that section (an empty section counts; a missing file has none).
    static bool HasSection(const std::string& path, const char* section);
    // Removes the copies of the files that are whole; only a copy that could not be put back stays.
    void Finish();

    // Where the copy of an INI file is kept while the install writes it.
    static std::string CopyPathOf(const std::string& path) { return path + ".kcfbak"; }

private:
    enum class State { kCopied, kGivenUp, kCopyKept };
    struct Guarded {
        std::string path;
        std::string original;  // the bytes before the install, as the copy holds them
        DWORD attributes = FILE_ATTRIBUTE_NORMAL;
        State state = State::kGivenUp;
        bool copyExists = false;  // ours to remove
    };

    enum class Op { kWrite, kRemoveKey, kRemoveEmptySection };
    IniWrite Change(const IniFile& ini, const char* section, const std::string& key, const std::string* value, Op op);
    IniWrite TakeCopy(Guarded& file);
    IniWrite PutBack(Guarded& file);

    ProfileWriter& writer_;
    std::vector<Guarded> files_;
};

// Does the file after a write hold every line it held before, in order, plus the key's line (in
// place of the key's earlier line, and under a new section header when the section was new), and
// nothing else? Lines are compared as the profile functions read them: blank lines and the spaces
// around lines, names and "=" do not count.
bool KeepsEveryLineButTheKey(const std::string& before, const std::string& after, const char* section,
                             const std::string& key);
bool KeepsEveryLinePlusTheKey(const std::string& before, const std::string& after, const char* section,
                              const std::string& key, const std::string& value);
// Did the section hold no key before, and does the file after hold every line but its header?
bool KeepsEveryLineButTheEmptySection(const std::string& before, const std::string& after, const char* section);
