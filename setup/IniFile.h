// One INI file read and written by path through the platform's private-profile calls.
#pragma once

#include <windows.h>

#include <map>
#include <string>

class IniFile;

// How one key reaches an INI file: the platform's private-profile write, or a stand-in that fails
// as a full disk does. Its answer is only a claim; the caller checks the file.
class ProfileWriter {
public:
    virtual ~ProfileWriter() = default;
    virtual bool Write(const char* section, const char* key, const char* value, const std::string& path) = 0;
};

// WritePrivateProfileString.
ProfileWriter& PlatformProfileWriter();

// One section of an INI file as read at one moment. Key names match without regard to case, the
// first of a repeated key wins, and values come as a key-by-key read gives them: spaces around
// them trimmed, one pair of enclosing quotes removed. A section that the platform may have handed
// out cut short is read key by key from its file instead.
class IniSection {
public:
    IniSection() = default;
    IniSection(const IniFile& file, std::string name) : file_(&file), name_(std::move(name)) {}
    // Takes one "key=value" line of the section; lines without "=" hold no key.
    void AddLine(const std::string& line);
    // True with the value when the key is present and not empty.
    bool Value(const std::string& key, std::string& value) const;
    // Numbered keys: stem followed by the number ("File" 2 -> "File2").
    bool Numbered(const char* stem, int number, std::string& value) const;

private:
    std::map<std::string, std::string> values_;  // by upper-case key name
    const IniFile* file_ = nullptr;               // key by key from this file's section name_
    std::string name_;
};

// How many characters of a section the platform hands out at most: 32767 before Windows 7, no
// limit (0) since.
DWORD SectionReadLimit();

class IniFile {
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
    // False when the file is read-only (the user's word that it stays as it is) or the write fails.
    bool WriteValue(const char* section, const char* key, const std::string& value,
                    ProfileWriter& writer = PlatformProfileWriter()) const;
    // A file is attached, its path fits, and it is neither read-only nor a directory.
    bool Writable() const;

    const std::string& Path() const { return path_; }
    const std::string& FoundIn() const { return foundIn_; }

private:
    std::string path_;
    std::string foundIn_;
};

// Does a file open for reading? Never acts on a path that does not fit.
bool FileOpensForReading(const std::string& path);
