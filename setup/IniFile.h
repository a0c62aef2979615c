// One INI file read and written by path through the platform's private-profile calls.
#pragma once

#include <windows.h>

#include <string>

class IniFile {
public:
    // Stores owner and path, then checks that the file opens for reading. On failure shows
    // "%s : Can't open file!" and answers false; the path stays stored.
    bool Open(HWND owner, const std::string& path);
    // Opens directory "\" name and records the directory as the found-in directory.
    bool OpenIn(HWND owner, const std::string& directory, const char* name);

    // True with the value when the key is present and not empty.
    bool ReadValue(const char* section, const char* key, std::string& value) const;
    // Numbered keys: stem followed by the number ("File" 2 -> "File2").
    bool ReadNumbered(const char* section, const char* stem, int number, std::string& value) const;
    bool WriteValue(const char* section, const char* key, const std::string& value) const;

    const std::string& Path() const { return path_; }
    const std::string& FoundIn() const { return foundIn_; }
    HWND Owner() const { return owner_; }

private:
    HWND owner_ = nullptr;
    std::string path_;
    std::string foundIn_;
};

// Does a file open for reading? Never acts on a path that does not fit.
bool FileOpensForReading(const std::string& path);
