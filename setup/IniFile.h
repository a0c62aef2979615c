// One INI file read and written by path through the platform's private-profile calls.
#pragma once

#include "IniText.h"

#include <windows.h>

#include <string>

// How one key reaches an INI file: the platform's private-profile write, or a stand-in that fails
// as a full disk does. Its answer is only a claim; the caller checks the file.
class ProfileWriter {
public:
    virtual ~ProfileWriter() = default;
    virtual bool Write(const char* section, const char* key, const char* value, const std::string& path) = 0;
};

// WritePrivateProfileString.
ProfileWriter& PlatformProfileWriter();

// How many characters of a section the platform hands out at most: 32767 before Windows 7, no
// limit (0) since.
DWORD SectionReadLimit();

class IniFile : public IniSource {
public:
    // Stores the path, then checks that the file opens for reading; false when it does not, and
    // the path stays stored for the caller's message ("%s : Can't open file!").
    bool Open(const std::string& path);
    // Opens directory "\" name and records the directory as the found-in directory.
    bool OpenIn(const std::string& directory, const char* name);

    // True with the value when the key is present and not empty.
    bool ReadValue(const char* section, const char* key, std::string& value) const;
    // Numbered keys: stem followed by the number ("File" 2 -> "File2").
    bool ReadNumbered(const char* section, const char* stem, int number, std::string& value) const;
    // The whole section in one read: long numbered lists cost one pass over the file, not one per
    // key. A read that reaches the limit may be cut short and gives a section read key by key.
    IniSection ReadSection(const char* section, DWORD limit = SectionReadLimit()) const;
    IniSection Section(const char* name) const override { return ReadSection(name); }
    // False when the file is read-only (the user's word that it stays as it is) or the write fails.
    bool WriteValue(const char* section, const char* key, const std::string& value,
                    ProfileWriter& writer = PlatformProfileWriter()) const;
    // A file is attached, its path fits, and it is neither read-only nor a directory.
    bool Writable() const;

    const std::string& Path() const { return path_; }
    const std::string& FoundIn() const { return foundIn_; }

private:
    // A section read key by key from the file, for one the platform may hand out cut short.
    IniSection KeyByKey(const char* section) const;

    std::string path_;
    std::string foundIn_;
};

// Does a file open for reading? Never acts on a path that does not fit.
bool FileOpensForReading(const std::string& path);
